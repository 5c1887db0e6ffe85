#include "app/PackageRefusal.h"

#include "app/Texts.h"
#include "flash/LoaderArea.h"
#include "package/Package.h"

namespace zelfin::app {

std::string_view packageRefusal(const PackageBlock& block, const PackageSeal& seal) {
    if (Package(block).decodeSettings().HOW_MANY_BIN == 0) {
        return text::kNoFirmware;
    }
    // The read-back only proves the drive holds what is in memory: these bytes must be the ones
    // the vendor packed.
    if (checkSeal(seal, block, kLoaderArea) != SealCheck::Intact) {
        return text::kPackageDamaged;
    }
    return {};
}

} // namespace zelfin::app
