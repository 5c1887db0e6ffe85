#include "Report.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <thread>

namespace zelfin::bench {
namespace {

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Number(double value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    std::ostringstream s;
    s.precision(6);
    s << value;
    return s.str();
}

std::string Optional(const std::optional<double>& value) {
    return value ? Number(*value) : "null";
}

std::string CpuModel() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            if (colon != std::string::npos && colon + 2 <= line.size()) {
                return line.substr(colon + 2);
            }
        }
    }
    return "unknown";
}

std::string LoadAverage() {
    std::ifstream loadavg("/proc/loadavg");
    double one = 0.0;
    double five = 0.0;
    if (!(loadavg >> one >> five)) {
        return "null";
    }
    return "[" + Number(one) + ", " + Number(five) + "]";
}

} // namespace

std::string MachineJson() {
    return "\"cpus\": " + std::to_string(std::thread::hardware_concurrency()) +
           ", \"cpu_model\": " + Quoted(CpuModel()) + ", \"load_average_1m_5m\": " + LoadAverage();
}

bool WriteReport(const Report& report, const std::string& path) {
    std::ostringstream s;
    s << "{\n  \"machine\": {" << MachineJson() << "},\n";
    s << "  \"mode\": " << Quoted(report.quick ? "quick" : "full") << ",\n";
    s << "  \"figures\": [\n";
    for (std::size_t i = 0; i < report.figures.size(); ++i) {
        const Figure& f = report.figures[i];
        s << "    {\"name\": " << Quoted(f.name) << ", \"unit\": " << Quoted(f.unit)
          << ", \"value\": " << Number(f.value) << ", \"floor\": " << Number(f.floor)
          << ", \"ratio\": " << Optional(f.Ratio()) << ", \"target\": " << Optional(f.target)
          << ", \"what\": " << Quoted(f.what) << "}" << (i + 1 < report.figures.size() ? "," : "")
          << "\n";
    }
    s << "  ]\n}\n";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << s.str();
    out.close();
    return static_cast<bool>(out);
}

void PrintReport(const Report& report, std::FILE* out) {
    std::fprintf(out, "%-28s %14s %14s %9s %8s  %s\n", "figure", "value", "floor", "ratio",
                 "target", "unit");
    for (const Figure& f : report.figures) {
        const std::optional<double> ratio = f.Ratio();
        std::fprintf(out, "%-28s %14.4g %14.4g %9s %8s  %s\n", f.name.c_str(), f.value, f.floor,
                     ratio ? Number(*ratio).c_str() : "-",
                     f.target ? Number(*f.target).c_str() : "-", f.unit.c_str());
    }
}

} // namespace zelfin::bench
