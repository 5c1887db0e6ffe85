#pragma once
// A stand-in loader area with the real layout: every loader has its real length, opens with a
// readable note naming its number, and is filled with a deterministic pattern after that. The
// last 8 bytes of loaders 2 and 3 are zero, as they are in the vendor's area.

#include "flash/ProfileTable.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace zelfin {

inline constexpr char kPlaceholderNote[] = "ZELFIN PLACEHOLDER LOADER ";

constexpr std::array<std::uint8_t, kLoaderAreaSize> MakePlaceholderLoaderArea() {
    std::array<std::uint8_t, kLoaderAreaSize> area{};
    for (std::uint32_t number = 0; number < kLoaderCount; ++number) {
        const LoaderSpan span = LoaderByNumber(number);
        std::size_t i = 0;
        for (; i + 1 < sizeof(kPlaceholderNote); ++i) {
            area[span.offset + i] = static_cast<std::uint8_t>(kPlaceholderNote[i]);
        }
        area[span.offset + i++] = static_cast<std::uint8_t>('0' + number / 10);
        area[span.offset + i++] = static_cast<std::uint8_t>('0' + number % 10);
        area[span.offset + i++] = 0x00;
        // A pattern with no zero bytes, different for each loader, so that the zero tails of
        // loaders 2 and 3 and any misplaced copy stand out.
        for (; i < span.length; ++i) {
            area[span.offset + i] = static_cast<std::uint8_t>((number * 29 + i * 7 + (i >> 8)) | 1);
        }
        if (number == 2 || number == 3) {
            for (std::size_t z = span.length - 8; z < span.length; ++z) {
                area[span.offset + z] = 0x00;
            }
        }
    }
    return area;
}

} // namespace zelfin
