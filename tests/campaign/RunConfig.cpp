#include "RunConfig.h"

#include "flash/LoaderArea.h"
#include "tools/ComposeBlock.h"
#include "tools/PackageDescription.h"
#include "tools/TestPackage.h"

#include <array>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace zelfin::campaign {
namespace {

constexpr uint32_t kOffsetBankStart = 0x20000;
constexpr uint32_t kImageSize = 0x100000;
constexpr uint32_t kDownloadSize = 0x20000;
// Pieces well clear of the identity records: two of zeros, two of 0xFF.
constexpr uint32_t kZeroPieces = 150;
constexpr uint32_t kFfPieces = 152;
constexpr uint32_t kPiece = 4096;

std::string replaceLine(std::string text, const std::string& key, const std::string& line) {
    const std::size_t at = text.find("\n" + key);
    if (at == std::string::npos) {
        throw std::logic_error("no " + key + " line in the shipped description");
    }
    const std::size_t end = text.find('\n', at + 1);
    return text.replace(at + 1, end - at - 1, line);
}

std::unique_ptr<Package> build(Shape shape, Mode mode) {
    auto p = std::make_unique<Package>();
    std::vector<uint8_t> image =
        testpackage::makeImage(testpackage::kBootRevision, testpackage::kNewRevision);
    uint32_t size = kImageSize;
    p->bootCode = shape != Shape::OffsetBank;
    if (shape == Shape::OffsetBank) {
        // The image's own firmware, placed so that the bank begins with it.
        std::vector<uint8_t> shifted(kImageSize, 0);
        std::copy(image.begin(), image.end() - kOffsetBankStart,
                  shifted.begin() + kOffsetBankStart);
        image.swap(shifted);
        p->start = kOffsetBankStart;
        size = kImageSize - kOffsetBankStart;
        p->imageRecipe = "firmware.bin: the demo image moved 131072 bytes on (head -c 131072 "
                         "/dev/zero; head -c 917504 demo-firmware.bin)";
    } else if (shape == Shape::DownloadBank) {
        size = kDownloadSize;
    } else if (shape == Shape::Padding) {
        std::fill_n(image.begin() + kZeroPieces * kPiece, 2 * kPiece, uint8_t{0x00});
        std::fill_n(image.begin() + kFfPieces * kPiece, 2 * kPiece, uint8_t{0xFF});
        p->imageRecipe = "firmware.bin: the demo image with pieces 150-151 all 00 and 152-153 "
                         "all FF";
    }
    if (p->imageRecipe.empty()) {
        p->imageRecipe = "firmware.bin: the demo image (zelfin-pack make-demo)";
    }
    p->newRevision = std::string(testpackage::kNewRevision);

    std::string text = testpackage::shippedDescriptionText("firmware.bin");
    text = replaceLine(text, "REBOOT", "REBOOT     0");
    text = replaceLine(text, "CLOSEAP", "CLOSEAP    1");
    text = replaceLine(text, "WARNING", "WARNING    0");
    text = replaceLine(text, "BOOTCODE", p->bootCode ? "BOOTCODE   1" : "BOOTCODE   0");
    text = replaceLine(text, "N2OMESSAGE", mode == Mode::Ask ? "N2OMESSAGE 1" : "N2OMESSAGE 0");
    text = replaceLine(text, "AUTOMODE", mode == Mode::Automatic ? "AUTOMODE   1" : "AUTOMODE   0");
    text = replaceLine(text, "CHKDISC", mode == Mode::DiscCheck ? "CHKDISC    1" : "CHKDISC    0");
    text = replaceLine(text, "BANK 1",
                       "BANK 1  \"firmware.bin\"  " + std::to_string(p->start) + "  " +
                           std::to_string(size) + "  \"" + p->newRevision + "\"");
    pack::Problems problems;
    pack::PackageDescription d = pack::parseDescription(text, problems);
    if (!problems.ok() || d.banks.size() != 1) {
        throw std::logic_error("campaign description refused: " + problems.errors.front());
    }
    d.banks.front().data = image;
    if (!pack::composeBlock(d, p->block, problems)) {
        throw std::logic_error("campaign package refused: " + problems.errors.front());
    }
    p->seal = makeSeal(p->block, kLoaderArea);
    p->bank.assign(image.begin() + p->start, image.begin() + p->start + size);
    p->description = text;
    return p;
}

} // namespace

const char* shapeName(Shape shape) {
    switch (shape) {
    case Shape::WholeBank:
        return "whole bank";
    case Shape::OffsetBank:
        return "bank at 128 KiB, BOOTCODE 0";
    case Shape::DownloadBank:
        return "download bank";
    case Shape::Padding:
        return "all-00 and all-FF pieces";
    case Shape::AlreadyNew:
        return "drive already new";
    }
    return "?";
}

const char* modeName(Mode mode) {
    switch (mode) {
    case Mode::Manual:
        return "manual";
    case Mode::Ask:
        return "N2OMESSAGE 1";
    case Mode::Automatic:
        return "automatic, two drives";
    case Mode::DiscCheck:
        return "CHKDISC 1";
    }
    return "?";
}

std::vector<char> targets(Mode mode) {
    return mode == Mode::Automatic ? std::vector<char>{kTarget, kSecondTarget}
                                   : std::vector<char>{kTarget};
}

const Package& packageFor(Shape shape, Mode mode) {
    static const auto packages = [] {
        std::array<std::array<std::unique_ptr<Package>, std::size(kModes)>, std::size(kShapes)> all;
        for (std::size_t s = 0; s < std::size(kShapes); ++s) {
            for (std::size_t m = 0; m < std::size(kModes); ++m) {
                all[s][m] = build(kShapes[s], kModes[m]);
            }
        }
        return all;
    }();
    return *packages[static_cast<std::size_t>(shape)][static_cast<std::size_t>(mode)];
}

std::string scenarioText(const RunConfig& config) {
    const std::string installed(config.shape == Shape::AlreadyNew ? testpackage::kNewRevision
                                                                  : testpackage::kOldRevision);
    std::ostringstream s;
    s << "clock virtual\nos nt\nletter C fixed\n";
    s << "drive D BRYMOTE \"DVDRW RVM-270A\" " << installed << " port=1 target=0\n";
    s << "drive E OTHER \"DVD-ROM X16\" 2.10 other port=1 target=1\n";
    s << "drive F BRYMOTE \"DVDRW RVM-270A\" 1900 port=1 target=2\n";
    if (config.mode == Mode::Automatic) {
        s << "drive G BRYMOTE \"DVDRW RVM-270A\" " << installed << " port=1 target=3\n";
    }
    s << "firmware D revision=" << installed << "\n";
    s << "firmware F revision=1900\n";
    if (config.mode == Mode::Automatic) {
        s << "firmware G revision=" << installed << "\n";
    }
    for (const sim::DriveFault& fault : config.faults) {
        s << fault.Format() << "\n";
    }
    return s.str();
}

std::string reproduction(const RunConfig& config) {
    const Package& package = packageFor(config.shape, config.mode);
    std::ostringstream s;
    s << "--- package.txt (" << package.imageRecipe << ")\n"
      << package.description << "--- scenario.txt\n"
      << scenarioText(config)
      << "--- zelfin-pack fill zelfin-cli package.txt && "
         "zelfin-cli --simulate scenario.txt --update --yes\n";
    return s.str();
}

} // namespace zelfin::campaign
