#include "flash/LoaderArea.h"
#include "flash/PlaceholderLoaderArea.h"

namespace zelfin {

namespace {
[[gnu::used]] constinit LoaderAreaRecord kRecord = {"ZELFIN_LOADERS<", MakePlaceholderLoaderArea(),
                                                    "ZELFIN_LOADERS>"};
} // namespace

const std::array<std::uint8_t, kLoaderAreaSize>& kLoaderArea = kRecord.bytes;
const bool kLoaderAreaIsPlaceholder = true;

} // namespace zelfin
