#pragma once
// The 23 drive-side loaders back to back, as the build embedded them: the vendor's loader area
// when ZELFIN_LOADER_AREA names one, otherwise a placeholder with the same lengths.

#include "flash/ProfileTable.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace zelfin {

// The loader area between two markers, so that the packing tool finds exactly these bytes in
// the program's file and seals them with the package. Both markers are 15 characters and a NUL.
inline constexpr std::string_view kLoaderAreaHead{"ZELFIN_LOADERS<\0", 16};
inline constexpr std::string_view kLoaderAreaTail{"ZELFIN_LOADERS>\0", 16};

struct LoaderAreaRecord {
    char head[16];
    std::array<std::uint8_t, kLoaderAreaSize> bytes;
    char tail[16];
};

static_assert(alignof(LoaderAreaRecord) == 1);
static_assert(sizeof(LoaderAreaRecord) == 16 + kLoaderAreaSize + 16);

// The bytes of the record the program carries. The record is not const, so no read of it is
// folded into the built-in bytes: the packed file's bytes are what is sent and sealed.
extern const std::array<std::uint8_t, kLoaderAreaSize>& kLoaderArea;

// True when the build embedded the placeholder rather than a vendor-supplied loader area.
extern const bool kLoaderAreaIsPlaceholder;

} // namespace zelfin
