#pragma once
// One campaign run as data: the package's shape, how the program is run, and what the drives do.
// It turns into the two files that reproduce the run with zelfin-cli: a package description for
// zelfin-pack and a scenario for --simulate.

#include "package/PackageBlock.h"
#include "package/PackageSeal.h"
#include "sim/DriveFault.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zelfin::campaign {

enum class Shape : uint8_t {
    WholeBank,    // the whole 1 MiB image, boot code included
    OffsetBank,   // a bank cut from 128 KiB on, BOOTCODE 0: the boot area stays as it is
    DownloadBank, // a 131,072-byte bank: the vendor download sequence
    Padding,      // the whole image with all-zero and all-FF pieces
    AlreadyNew,   // the drive already runs the package's revision
};
inline constexpr Shape kShapes[] = {Shape::WholeBank, Shape::OffsetBank, Shape::DownloadBank,
                                    Shape::Padding, Shape::AlreadyNew};

enum class Mode : uint8_t {
    Manual,    // one drive, N2OMESSAGE 0
    Ask,       // N2OMESSAGE 1: an up-to-date drive is asked about (and answered Yes)
    Automatic, // AUTOMODE 1 with two drives to update
    DiscCheck, // CHKDISC 1
};
inline constexpr Mode kModes[] = {Mode::Manual, Mode::Ask, Mode::Automatic, Mode::DiscCheck};

// The drives of every run: D (and G in automatic mode) to update, E of another model, F of the
// supported model at a revision no slot accepts.
inline constexpr char kTarget = 'D';
inline constexpr char kSecondTarget = 'G';
inline constexpr char kOtherModel = 'E';
inline constexpr char kUnmatched = 'F';

struct RunConfig {
    Shape shape = Shape::WholeBank;
    Mode mode = Mode::Manual;
    std::vector<sim::DriveFault> faults;
};

const char* shapeName(Shape shape);
const char* modeName(Mode mode);

// The drives the package lets the program update in this run.
std::vector<char> targets(Mode mode);

// The package for the shape and mode, built once and kept: its block, seal and the bank's bytes
// and place.
struct Package {
    PackageBlock block{};
    PackageSeal seal{};
    std::vector<uint8_t> bank;
    uint32_t start = 0;
    bool bootCode = true;
    std::string newRevision;
    std::string description; // the text zelfin-pack fills it from
    std::string imageRecipe; // how to make its firmware.bin from the demo image
};
const Package& packageFor(Shape shape, Mode mode);

// The scenario text: machine lines, firmware lines, the run's fault lines.
std::string scenarioText(const RunConfig& config);
// Both files and the command that reproduces the run.
std::string reproduction(const RunConfig& config);

} // namespace zelfin::campaign
