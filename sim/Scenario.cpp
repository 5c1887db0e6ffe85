#include "sim/Scenario.h"

#include "sim/DriveFault.h"
#include "sim/SimFlash.h"
#include "tools/TestPackage.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace zelfin::sim {

namespace {

std::vector<std::string> Tokens(std::string_view line, int number) {
    std::vector<std::string> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        if (line[i] == '#') {
            break;
        }
        std::string token;
        if (line[i] == '"') {
            const std::size_t end = line.find('"', i + 1);
            if (end == std::string_view::npos) {
                throw std::invalid_argument("scenario line " + std::to_string(number) +
                                            ": unterminated quote");
            }
            token = std::string(line.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
                token += line[i++];
            }
        }
        tokens.push_back(token);
    }
    return tokens;
}

[[noreturn]] void Fail(int number, const std::string& what) {
    throw std::invalid_argument("scenario line " + std::to_string(number) + ": " + what);
}

// strtoul alone takes "-5" (wrapped), "+5" and leading blanks; a value is digits only.
unsigned long Number(const std::string& text, int base, unsigned long max, int line) {
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text.c_str(), &end, base);
    if (text.empty() || std::isxdigit(static_cast<unsigned char>(text[0])) == 0 || *end != '\0' ||
        errno == ERANGE || value > max) {
        Fail(line, "bad number '" + text + "'");
    }
    return value;
}

// Seconds a command takes: a plain decimal from 0 to an hour. NaN or infinity would overflow the
// virtual clock; a negative time would run it backwards.
double Seconds(const std::string& text, int line) {
    constexpr double kMaxSeconds = 3600.0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    const bool plain = !text.empty() && text.find_first_not_of("0123456789.") == std::string::npos;
    if (!plain || *end != '\0' || !(value >= 0.0 && value <= kMaxSeconds)) {
        Fail(line, "bad seconds '" + text + "' (a decimal from 0 to 3600)");
    }
    return value;
}

char Letter(const std::string& text, int line) {
    if (text.empty() || text.size() > 2 || (text.size() == 2 && text[1] != ':') ||
        !((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'))) {
        Fail(line, "bad drive letter '" + text + "'");
    }
    return text[0];
}

void DriveLine(Scenario& scenario, const std::vector<std::string>& t, int line) {
    // drive LETTER VENDOR PRODUCT REVISION [key=value ...]
    if (t.size() < 5) {
        Fail(line, "drive needs a letter, vendor, product and revision");
    }
    SimMachine& machine = *scenario.machine;
    SimDrive& drive = machine.NewDrive(std::string(1, Letter(t[1], line)));
    drive.SetIdentity(t[2], t[3], t[4]);
    ScsiPlace place{1, 0, static_cast<uint8_t>(scenario.drives.size()), 0};
    AddressQuery query = AddressQuery::Real;
    uint32_t openError = 0;
    for (std::size_t i = 5; i < t.size(); ++i) {
        const std::string& option = t[i];
        const std::size_t eq = option.find('=');
        const std::string key = option.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : option.substr(eq + 1);
        if (key == "other") {
            drive.SetVendorCommands(false);
        } else if (key == "flash" && value.size() == 11) {
            drive.SetFlashId(static_cast<uint8_t>(Number(value.substr(0, 2), 16, 255, line)),
                             static_cast<uint8_t>(Number(value.substr(3, 2), 16, 255, line)),
                             static_cast<uint8_t>(Number(value.substr(6, 2), 16, 255, line)),
                             static_cast<uint8_t>(Number(value.substr(9, 2), 16, 255, line)));
        } else if (key == "port") {
            place.port = static_cast<uint8_t>(Number(value, 10, 255, line));
        } else if (key == "target") {
            place.target = static_cast<uint8_t>(Number(value, 10, 255, line));
        } else if (key == "lun") {
            place.lun = static_cast<uint8_t>(Number(value, 10, 7, line));
        } else if (key == "address" && (value == "none" || value == "zero")) {
            query = value == "none" ? AddressQuery::Unsupported : AddressQuery::LengthZero;
        } else if (key == "disc" &&
                   (value == "absent" || value == "present" || value == "locked")) {
            drive.SetDisc(value == "absent"    ? Disc::Absent
                          : value == "present" ? Disc::Present
                                               : Disc::Locked);
        } else if (key == "tray" && (value == "open" || value == "closed")) {
            drive.SetTrayOpen(value == "open");
        } else if (key == "ready") {
            drive.SetBecomingReady(static_cast<uint32_t>(Number(value, 10, UINT32_MAX, line)));
        } else if (key == "attention") {
            drive.PowerOnReset();
        } else if (key == "seconds") {
            drive.SetCommandSeconds(Seconds(value, line));
        } else if (key == "open-error") {
            openError = static_cast<uint32_t>(Number(value, 10, UINT32_MAX, line));
        } else if (key == "busy") {
            machine.SetDriveBusy(drive, true);
        } else if (key == "aspi") {
            machine.AddAspiDevice(place.port, place.target, place.lun, kDtypeCdrom, &drive);
        } else {
            Fail(line, "unknown drive option '" + option + "'");
        }
    }
    machine.AddOpticalLetter(drive.Name()[0], drive, place, query);
    machine.SetOpenError(drive.Name()[0], openError);
    scenario.drives.push_back(&drive);
}

// An 8 Mbit chip: the image fills the whole flash.
constexpr FlashId kDefaultChip{0xBF, 0xD8, 0x00, 0x05};

FlashId Chip(const std::string& text, int line) {
    FlashId id{};
    std::istringstream in(text);
    for (std::size_t i = 0; i < id.size(); ++i) {
        std::string byte;
        if (!std::getline(in, byte, ',') || byte.size() != 2 ||
            byte.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) {
            Fail(line, "chip reads like BF,D8,00,05");
        }
        id[i] = static_cast<uint8_t>(std::stoul(byte, nullptr, 16));
    }
    return id;
}

// A firmware or fault line, kept until every drive of the text is known.
struct LaterLine {
    int number = 0;
    std::vector<std::string> words;
};

SimDrive& DriveOf(const Scenario& scenario, const std::string& letter, int line) {
    for (SimDrive* drive : scenario.drives) {
        if (drive->Name() == letter) {
            return *drive;
        }
    }
    Fail(line, "no drive " + letter + " was described before");
}

void InstallFirmware(const Scenario& scenario, const LaterLine& line, const ImageSource& images) {
    // firmware LETTER [revision=XXXX] [chip=MM,DD,II,VV]
    if (line.words.size() < 2) {
        Fail(line.number, "firmware LETTER [revision=XXXX] [chip=MM,DD,II,VV]");
    }
    SimDrive& drive = DriveOf(scenario, line.words[1], line.number);
    std::string revision(testpackage::kOldRevision);
    FlashId chip = kDefaultChip;
    for (std::size_t i = 2; i < line.words.size(); ++i) {
        const std::string& option = line.words[i];
        if (option.rfind("revision=", 0) == 0 && option.size() == 13) {
            revision = option.substr(9);
        } else if (option.rfind("chip=", 0) == 0) {
            chip = Chip(option.substr(5), line.number);
        } else {
            Fail(line.number, "unknown firmware option '" + option + "'");
        }
    }
    if (images) {
        SimFlash::Install(drive, chip, images(revision));
    } else {
        SimFlash::Install(drive, chip,
                          testpackage::makeImage(testpackage::kBootRevision, revision));
    }
}

void InjectFault(const Scenario& scenario, const LaterLine& line) {
    try {
        const DriveFault fault = DriveFault::Parse(std::span(line.words));
        fault.Apply(DriveOf(scenario, std::string(1, fault.letter), line.number));
    } catch (const std::invalid_argument& error) {
        Fail(line.number, error.what());
    }
}

} // namespace

Scenario DefaultScenario() {
    return ParseScenario("clock real\n"
                         "os nt\n"
                         "letter C fixed\n"
                         "drive D BRYMOTE \"DVDRW RVM-270A\" 1A05 port=1 target=0\n"
                         "firmware D\n");
}

Scenario ParseScenario(std::string_view text, const ImageSource& images) {
    Scenario scenario;
    scenario.machine = std::make_unique<SimMachine>(OsFamily::NT);
    SimMachine& machine = *scenario.machine;
    std::vector<LaterLine> firmware;
    std::vector<LaterLine> faults;
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++number;
        std::vector<std::string> t = Tokens(line, number);
        if (t.empty()) {
            continue;
        }
        if (t[0] == "firmware") {
            firmware.push_back({number, std::move(t)});
        } else if (t[0] == "fault") {
            faults.push_back({number, std::move(t)});
        } else if (t[0] == "os" && t.size() == 2 && (t[1] == "nt" || t[1] == "95")) {
            machine.SetOsFamily(t[1] == "nt" ? OsFamily::NT : OsFamily::Windows95);
        } else if (t[0] == "clock" && t.size() == 2 && (t[1] == "virtual" || t[1] == "real")) {
            machine.SetClockMode(t[1] == "real" ? ClockMode::Real : ClockMode::Virtual);
        } else if (t[0] == "aspi" && t.size() == 2 && (t[1] == "installed" || t[1] == "absent")) {
            machine.Aspi().installed = t[1] == "installed";
        } else if (t[0] == "letter" && t.size() == 3) {
            const uint32_t type = t[2] == "fixed"       ? kDriveFixed
                                  : t[2] == "removable" ? kDriveRemovable
                                  : t[2] == "remote"    ? kDriveRemote
                                                        : kDriveUnknown;
            if (type == kDriveUnknown) {
                Fail(number, "unknown letter kind '" + t[2] + "'");
            }
            machine.AddLetter(Letter(t[1], number), type);
        } else if (t[0] == "drive") {
            DriveLine(scenario, t, number);
        } else {
            Fail(number, "cannot read '" + std::string(line) + "'");
        }
    }
    // Reading the clock costs nothing, so a trace at the seam times commands as the drive does.
    machine.SetCounterReadCost(0.0);

    // A firmware line may name a drive described after it; a flash fault needs the flash.
    for (const LaterLine& line : firmware) {
        InstallFirmware(scenario, line, images);
    }
    for (const LaterLine& line : faults) {
        InjectFault(scenario, line);
    }
    return scenario;
}

Scenario ReadScenarioFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot read the scenario file " + path);
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return ParseScenario(text);
}

} // namespace zelfin::sim
