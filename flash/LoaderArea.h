#pragma once
// The 23 drive-side loaders back to back, as the build embedded them: the vendor's loader area
// when ZELFIN_LOADER_AREA names one, otherwise a placeholder with the same lengths.

#include "flash/ProfileTable.h"

#include <array>
#include <cstdint>

namespace zelfin {

extern const std::array<std::uint8_t, kLoaderAreaSize> kLoaderArea;

// True when the build embedded the placeholder rather than a vendor-supplied loader area.
extern const bool kLoaderAreaIsPlaceholder;

} // namespace zelfin
