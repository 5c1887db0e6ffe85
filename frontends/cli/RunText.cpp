#include "frontends/cli/RunText.h"

#include "app/DriveLine.h"
#include "package/ProgramVersion.h"

#include <vector>

namespace zelfin::cli {
namespace {

std::string jobDrive(const app::RunReport& report, int16_t drive) {
    if (drive >= 0 && static_cast<std::size_t>(drive) < report.drives.size()) {
        return app::driveName(report.drives[static_cast<std::size_t>(drive)]);
    }
    return "drive " + std::to_string(drive);
}

// Each line of `text` after `prefix`.
void appendLines(std::string& out, std::string_view prefix, std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        out += prefix;
        out += text.substr(0, end);
        out += '\n';
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
}

void appendDrives(std::string& out, std::string_view when, const std::vector<DriveEntry>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        out += "# drive " + std::to_string(i) + " " + std::string(when) + ":" +
               app::formatDriveLine(list[i]) + "\n";
    }
}

} // namespace

std::string failureLines(const app::RunReport& report, std::string_view prefix) {
    std::string lines;
    for (const app::JobOutcome& job : report.jobs) {
        if (!job.updated) {
            lines += std::string(prefix) + jobDrive(report, job.drive) + ": " + job.reason + "\n";
        }
    }
    return lines;
}

std::string traceHeader(const PackageBlock& block, const PackageSeal& seal,
                        const app::RunReport& report, std::string_view result) {
    std::string header;
    appendLines(header, "# ", versionText("zelfin-cli", block, seal));
    if (!report.jobs.empty()) {
        appendDrives(header, "before", report.drivesBefore);
    }
    appendDrives(header, report.jobs.empty() ? "found" : "after", report.drives);
    header += "# result: " + std::string(result) + "\n";
    header += failureLines(report, "# failed: ");
    return header;
}

} // namespace zelfin::cli
