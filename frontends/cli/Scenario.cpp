#include "frontends/cli/Scenario.h"

#include "sim/SimFlash.h"
#include "tools/TestPackage.h"

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace zelfin::cli {
namespace {

// An 8 Mbit chip: the image fills the whole flash.
constexpr sim::FlashId kDefaultChip{0xBF, 0xD8, 0x00, 0x05};

[[noreturn]] void fail(int line, const std::string& what) {
    throw std::runtime_error("scenario line " + std::to_string(line) + ": " + what);
}

sim::FlashId parseChip(const std::string& text, int line) {
    sim::FlashId id{};
    std::istringstream in(text);
    for (std::size_t i = 0; i < id.size(); ++i) {
        std::string byte;
        if (!std::getline(in, byte, ':') || byte.size() != 2) {
            fail(line, "chip must read like BF:D8:00:05");
        }
        id[i] = static_cast<uint8_t>(std::stoul(byte, nullptr, 16));
    }
    return id;
}

int parseNumber(const std::string& text, int line, int low, int high) {
    try {
        std::size_t used = 0;
        const int value = std::stoi(text, &used);
        if (used == text.size() && value >= low && value <= high) {
            return value;
        }
    } catch (const std::exception&) {
    }
    fail(line, "'" + text + "' is not a number from " + std::to_string(low) + " to " +
                   std::to_string(high));
}

class Builder {
public:
    Builder() : scenario_{std::make_unique<sim::SimMachine>(sim::OsFamily::NT), {}} {
        // Reading the clock costs nothing, so a trace at the seam times commands as the drive does.
        scenario_.machine->SetCounterReadCost(0.0);
        scenario_.machine->SetClockMode(sim::ClockMode::Real);
    }

    void line(const std::string& text, int number) {
        std::istringstream in(text);
        std::string word;
        if (!(in >> word) || word.front() == '#') {
            return;
        }
        std::vector<std::string> args;
        for (std::string arg; in >> arg;) {
            args.push_back(arg);
        }
        if (word == "os") {
            expectCount(args, 1, number);
            if (args[0] != "nt" && args[0] != "95") {
                fail(number, "os is nt or 95");
            }
            scenario_.machine->SetOsFamily(args[0] == "nt" ? sim::OsFamily::NT
                                                           : sim::OsFamily::Windows95);
        } else if (word == "clock") {
            expectCount(args, 1, number);
            if (args[0] != "real" && args[0] != "virtual") {
                fail(number, "clock is real or virtual");
            }
            scenario_.machine->SetClockMode(args[0] == "real" ? sim::ClockMode::Real
                                                              : sim::ClockMode::Virtual);
        } else if (word == "aspi") {
            expectCount(args, 0, number);
            scenario_.machine->Aspi().installed = true;
        } else if (word == "drive") {
            drive(args, number);
        } else if (word == "fault") {
            fault(args, number);
        } else {
            fail(number, "unknown word '" + word + "'");
        }
    }

    Scenario finish() { return std::move(scenario_); }

private:
    static void expectCount(const std::vector<std::string>& args, std::size_t count, int line) {
        if (args.size() != count) {
            fail(line, "expected " + std::to_string(count) + " argument(s)");
        }
    }

    static char letterOf(const std::string& text, int line) {
        if (text.size() != 1 || text[0] < 'A' || text[0] > 'Z') {
            fail(line, "a drive letter is one upper-case letter");
        }
        return text[0];
    }

    void drive(const std::vector<std::string>& args, int number) {
        if (args.size() < 2) {
            fail(number, "drive LETTER rvm270a|other [key=value ...]");
        }
        const char letter = letterOf(args[0], number);
        if (flashes_.count(letter) || kinds_.count(letter)) {
            fail(number, std::string("drive ") + letter + " is described twice");
        }
        std::map<std::string, std::string> options;
        for (std::size_t i = 2; i < args.size(); ++i) {
            const auto eq = args[i].find('=');
            if (eq == std::string::npos) {
                fail(number, "'" + args[i] + "' is not key=value");
            }
            options[args[i].substr(0, eq)] = args[i].substr(eq + 1);
        }
        const auto take = [&](const std::string& key, const std::string& fallback) {
            const auto it = options.find(key);
            if (it == options.end()) {
                return fallback;
            }
            std::string value = it->second;
            options.erase(it);
            return value;
        };

        sim::SimDrive& drive = scenario_.machine->NewDrive(std::string(1, letter));
        const std::string kind = args[1];
        if (kind == "rvm270a") {
            const std::string revision = take("revision", std::string(testpackage::kOldRevision));
            if (revision.size() != 4) {
                fail(number, "a revision has four characters");
            }
            const std::string chip = take("chip", "");
            const auto image = testpackage::makeImage(testpackage::kBootRevision, revision);
            flashes_[letter] = &sim::SimFlash::Install(
                drive, chip.empty() ? kDefaultChip : parseChip(chip, number), image);
        } else if (kind == "other") {
            drive.SetIdentity("OTHERVND", "DVD-ROM DR-16X", "1.02");
            drive.SetVendorCommands(false);
        } else {
            fail(number, "a drive is rvm270a or other");
        }
        kinds_[letter] = kind;

        const std::string disc = take("disc", "absent");
        if (disc == "present") {
            drive.SetDisc(sim::Disc::Present);
        } else if (disc == "locked") {
            drive.SetDisc(sim::Disc::Locked);
        } else if (disc != "absent") {
            fail(number, "disc is absent, present or locked");
        }
        const std::string tray = take("tray", "closed");
        if (tray != "open" && tray != "closed") {
            fail(number, "tray is open or closed");
        }
        drive.SetTrayOpen(tray == "open");

        sim::ScsiPlace place;
        place.port = static_cast<uint8_t>(parseNumber(take("port", "1"), number, 0, 255));
        place.target = static_cast<uint8_t>(parseNumber(take("target", "0"), number, 0, 15));
        const std::string open = take("open", "ok");
        if (!options.empty()) {
            fail(number, "unknown option '" + options.begin()->first + "'");
        }
        if (scenario_.machine->Aspi().installed) {
            scenario_.machine->AddAspiDevice(place.port, place.target, 0, kDtypeCdrom, &drive);
        }
        scenario_.machine->AddOpticalLetter(letter, drive, place);
        if (open == "denied") {
            scenario_.machine->SetOpenError(letter, kErrorAccessDenied);
        } else if (open != "ok") {
            fail(number, "open is ok or denied");
        }
        scenario_.drives.push_back({letter, &drive});
    }

    void fault(const std::vector<std::string>& args, int number) {
        if (args.size() != 2) {
            fail(number, "fault LETTER readback|commit|power-loss");
        }
        const char letter = letterOf(args[0], number);
        const auto it = flashes_.find(letter);
        if (it == flashes_.end()) {
            fail(number, std::string("no rvm270a drive ") + letter + " described before");
        }
        sim::SimFlashFaults& faults = it->second->Faults();
        if (args[1] == "readback") {
            // Piece 100 reads back wrong in every pass.
            for (uint32_t pass = 1; pass <= 3; ++pass) {
                faults.readBackDiffers.push_back({100, pass, 17});
            }
        } else if (args[1] == "commit") {
            faults.commitFails = true;
        } else if (args[1] == "power-loss") {
            faults.powerLossAtSector = 3;
        } else {
            fail(number, "a fault is readback, commit or power-loss");
        }
    }

    Scenario scenario_;
    std::map<char, sim::SimFlash*> flashes_;
    std::map<char, std::string> kinds_;
};

} // namespace

Scenario defaultScenario() {
    std::istringstream text("drive D rvm270a\n");
    return readScenario(text);
}

Scenario readScenario(std::istream& in) {
    Builder builder;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        builder.line(line, ++number);
    }
    return builder.finish();
}

Scenario readScenarioFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot read the scenario file " + path);
    }
    return readScenario(in);
}

} // namespace zelfin::cli
