// The package block's decoding and the eligibility walk on arbitrary blocks and drive
// identities. Input: the block's fields before the image (2123 bytes, the shipped package's
// where the input is shorter), then the drive's vendor (8), product (16) and revision (4).

#include "package/Eligibility.h"
#include "package/Package.h"
#include "package/PackageBlock.h"
#include "tools/TestPackage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr std::size_t kFields = offsetof(zelfin::PackageBlock, FW_IMAGE);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelfin;
    static const std::unique_ptr<PackageBlock> shipped = testpackage::makeShippedBlock();
    static const std::unique_ptr<PackageBlock> block = testpackage::makeShippedBlock();

    const std::size_t fields = std::min(size, kFields);
    auto* bytes = reinterpret_cast<std::uint8_t*>(block.get());
    std::memcpy(bytes, data, fields);
    std::memcpy(bytes + fields, reinterpret_cast<const std::uint8_t*>(shipped.get()) + fields,
                kFields - fields);

    // The identity as a drive reports it: fixed widths, taken from the rest of the input.
    std::string identity(reinterpret_cast<const char*>(data) + fields, size - fields);
    identity.resize(28, ' ');
    const DriveIdentity drive{std::string_view(identity).substr(0, 8),
                              std::string_view(identity).substr(8, 16),
                              std::string_view(identity).substr(24, 4)};

    const Package package(*block);
    const Settings settings = package.decodeSettings();
    (void)package.windowTitle();
    (void)package.imageUnfilled();
    for (int bank = 1; bank <= 4; ++bank) {
        (void)package.newRevision(bank);
        (void)package.checkBank(bank);
        (void)package.cutBank(bank);
    }
    for (int group = 1; group <= 4; ++group) {
        for (int slot = 1; slot <= 8; ++slot) {
            if (const auto texts = package.readSlot(group, slot)) {
                (void)slotAccepts(*texts, drive);
            }
        }
    }
    for (std::uint8_t present = 0; present <= 1; ++present) {
        (void)judgeDrive(package, settings, present, drive);
    }
    return 0;
}
