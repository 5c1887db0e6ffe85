#include "frontends/cli/Scenario.h"

#include "sim/DriveFault.h"
#include "sim/Scenario.h"
#include "sim/SimFlash.h"
#include "tools/TestPackage.h"

#include <fstream>
#include <span>
#include <sstream>
#include <stdexcept>

namespace zelfin::cli {
namespace {

// An 8 Mbit chip: the image fills the whole flash.
constexpr sim::FlashId kDefaultChip{0xBF, 0xD8, 0x00, 0x05};

constexpr const char* kDefaultText = "clock real\n"
                                     "os nt\n"
                                     "letter C fixed\n"
                                     "drive D BRYMOTE \"DVDRW RVM-270A\" 1A05 port=1 target=0\n"
                                     "firmware D\n";

[[noreturn]] void fail(int line, const std::string& what) {
    throw std::runtime_error("scenario line " + std::to_string(line) + ": " + what);
}

sim::FlashId parseChip(const std::string& text, int line) {
    sim::FlashId id{};
    std::istringstream in(text);
    for (std::size_t i = 0; i < id.size(); ++i) {
        std::string byte;
        if (!std::getline(in, byte, ',') || byte.size() != 2 ||
            byte.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) {
            fail(line, "chip reads like BF,D8,00,05");
        }
        id[i] = static_cast<uint8_t>(std::stoul(byte, nullptr, 16));
    }
    return id;
}

struct FlashLine {
    int number = 0;
    std::vector<std::string> words;
};

sim::SimDrive& driveOf(const Scenario& scenario, const std::string& letter, int line) {
    for (const SimulatedDrive& d : scenario.drives) {
        if (letter.size() == 1 && d.letter == letter[0]) {
            return *d.drive;
        }
    }
    fail(line, "no drive " + letter + " was described before");
}

void installFirmware(Scenario& scenario, const FlashLine& line, const ImageSource& images) {
    if (line.words.size() < 2) {
        fail(line.number, "firmware LETTER [revision=XXXX] [chip=MM,DD,II,VV]");
    }
    sim::SimDrive& drive = driveOf(scenario, line.words[1], line.number);
    std::string revision(testpackage::kOldRevision);
    sim::FlashId chip = kDefaultChip;
    for (std::size_t i = 2; i < line.words.size(); ++i) {
        const std::string& option = line.words[i];
        if (option.rfind("revision=", 0) == 0 && option.size() == 13) {
            revision = option.substr(9);
        } else if (option.rfind("chip=", 0) == 0) {
            chip = parseChip(option.substr(5), line.number);
        } else {
            fail(line.number, "unknown firmware option '" + option + "'");
        }
    }
    if (images) {
        sim::SimFlash::Install(drive, chip, images(revision));
    } else {
        sim::SimFlash::Install(drive, chip,
                               testpackage::makeImage(testpackage::kBootRevision, revision));
    }
}

void injectFault(const Scenario& scenario, const FlashLine& line) {
    try {
        const sim::DriveFault fault = sim::DriveFault::Parse(std::span(line.words));
        fault.Apply(driveOf(scenario, std::string(1, fault.letter), line.number));
    } catch (const std::invalid_argument& error) {
        fail(line.number, error.what());
    }
}

} // namespace

Scenario defaultScenario() {
    std::istringstream text(kDefaultText);
    return readScenario(text);
}

Scenario readScenario(std::istream& in, const ImageSource& images) {
    // The machine's own lines go to the simulator's reader; the firmware lines, which need the
    // package's test image, are ours. Line numbers stay those of the file.
    std::string machineText;
    std::vector<FlashLine> flashLines;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        std::istringstream words(line);
        FlashLine flash{number, {}};
        for (std::string word; words >> word && word.front() != '#';) {
            flash.words.push_back(word);
        }
        if (!flash.words.empty() && (flash.words[0] == "firmware" || flash.words[0] == "fault")) {
            flashLines.push_back(std::move(flash));
            machineText += '\n';
        } else {
            machineText += line + '\n';
        }
    }

    Scenario scenario;
    try {
        sim::Scenario machine = sim::ParseScenario(machineText);
        scenario.machine = std::move(machine.machine);
        for (sim::SimDrive* drive : machine.drives) {
            scenario.drives.push_back({drive->Name().front(), drive});
        }
    } catch (const std::invalid_argument& error) {
        throw std::runtime_error(error.what());
    }
    // Reading the clock costs nothing, so a trace at the seam times commands as the drive does.
    scenario.machine->SetCounterReadCost(0.0);

    // Faults apply after every firmware line: a flash fault needs the drive's flash memory.
    for (const FlashLine& line : flashLines) {
        if (line.words[0] == "firmware") {
            installFirmware(scenario, line, images);
        }
    }
    for (const FlashLine& line : flashLines) {
        if (line.words[0] == "fault") {
            injectFault(scenario, line);
        }
    }
    return scenario;
}

Scenario readScenarioFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot read the scenario file " + path);
    }
    return readScenario(in);
}

} // namespace zelfin::cli
