#include "flash/LoaderArea.h"
#include "flash/PlaceholderLoaderArea.h"

namespace zelfin {

constinit const std::array<std::uint8_t, kLoaderAreaSize> kLoaderArea = MakePlaceholderLoaderArea();
const bool kLoaderAreaIsPlaceholder = true;

} // namespace zelfin
