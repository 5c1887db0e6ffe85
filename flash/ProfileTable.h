#pragma once
// The flash chip profile table: which drive-side loader suits which flash chip, and where that
// loader sits in the loader area. The stored columns are kept exactly as the drive firmware's
// vendor supplies them; everything else is derived here at compile time.

#include <array>
#include <cstddef>
#include <cstdint>

namespace zelfin {

// One row as stored: the four identification bytes and the loader length, high byte first.
struct ProfileEntry {
    std::uint8_t maker;
    std::uint8_t device;
    std::uint8_t idByte2;
    std::uint8_t variant;
    std::uint8_t lengthHigh;
    std::uint8_t lengthLow;
};
static_assert(sizeof(ProfileEntry) == 6, "a profile row is stored in 6 bytes");

inline constexpr std::size_t kProfileCount = 28;
inline constexpr std::size_t kLoaderCount = 23;
inline constexpr std::size_t kLoaderAreaSize = 20728;

// clang-format off
inline constexpr std::array<ProfileEntry, kProfileCount> kProfileTable{{
    {0xDA, 0xC8, 0x00, 0x00, 0x01, 0x3A}, //  0  314
    {0xBF, 0xB4, 0x00, 0x00, 0x01, 0xC4}, //  1  452
    {0xBF, 0xD6, 0x00, 0x01, 0x05, 0x00}, //  2 1280
    {0xBF, 0xB6, 0x00, 0x01, 0x05, 0x00}, //  3 1280
    {0x37, 0x8C, 0x00, 0x01, 0x05, 0x00}, //  4 1280
    {0xBF, 0xD7, 0x00, 0x03, 0x03, 0xE6}, //  5  998
    {0x37, 0x0D, 0x00, 0x02, 0x03, 0x1C}, //  6  796
    {0xBF, 0xB6, 0x00, 0x02, 0x02, 0xB6}, //  7  694
    {0xBF, 0xD6, 0x00, 0x02, 0x02, 0xB6}, //  8  694
    {0xDA, 0xB5, 0x00, 0x02, 0x02, 0xBA}, //  9  698
    {0xDA, 0xB5, 0x00, 0x01, 0x05, 0x00}, // 10 1280
    {0xBF, 0xD7, 0x00, 0x04, 0x03, 0x56}, // 11  854
    {0xC2, 0xB6, 0x00, 0x03, 0x03, 0x3E}, // 12  830
    {0xDA, 0x46, 0x00, 0x03, 0x02, 0xE6}, // 13  742
    {0x37, 0xB5, 0x00, 0x03, 0x03, 0xB2}, // 14  946
    {0xC2, 0xB6, 0x00, 0x07, 0x03, 0x1E}, // 15  798
    {0xDA, 0x46, 0x00, 0x07, 0x02, 0xC6}, // 16  710
    {0x37, 0xB5, 0x00, 0x04, 0x03, 0xAE}, // 17  942
    {0x37, 0xB5, 0x00, 0x07, 0x03, 0x22}, // 18  802
    {0x9D, 0x3E, 0x00, 0x04, 0x03, 0xDA}, // 19  986
    {0xDA, 0xB6, 0x00, 0x07, 0x02, 0xF2}, // 20  754
    {0xBF, 0xD8, 0x00, 0x05, 0x04, 0xD2}, // 21 1234
    {0x01, 0x37, 0x00, 0x05, 0x04, 0xD2}, // 22 1234
    {0xC2, 0x37, 0x00, 0x05, 0x04, 0xD2}, // 23 1234
    {0xC2, 0x38, 0x00, 0x05, 0x04, 0xD2}, // 24 1234
    {0xBF, 0xD8, 0x00, 0x06, 0x04, 0x36}, // 25 1078
    {0x01, 0x37, 0x00, 0x06, 0x04, 0x62}, // 26 1122
    {0xC2, 0x37, 0x00, 0x06, 0x04, 0x72}, // 27 1138
}};

// Loader number of each row; rows with the same number share one loader.
inline constexpr std::array<std::uint32_t, kProfileCount> kLoaderNumbers{
    0, 1, 2, 2, 3, 4, 5, 6, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 19, 19, 19, 20, 21, 22,
};
// clang-format on

// Rows 0 and 1 are the small chips whose loader goes to buffer offset 0x80000 behind a 4-byte
// header; rows 2 to 4 send a transfer length that leaves the header's 6 bytes out.
inline constexpr int kFirstLongHeaderRow = 2;
inline constexpr int kLastShortTransferRow = 4;

inline constexpr std::size_t kShortHeaderLength = 4;
inline constexpr std::size_t kLongHeaderLength = 6;

// The loader length of a row: high byte times 256 plus low byte.
constexpr std::uint16_t ProfileLength(int row) {
    const ProfileEntry& e = kProfileTable.at(static_cast<std::size_t>(row));
    return static_cast<std::uint16_t>(e.lengthHigh * 256 + e.lengthLow);
}

// The start of a row's loader in the loader area: each distinct loader is counted once.
constexpr std::size_t LoaderOffset(int row) {
    std::size_t offset = 0;
    for (int i = 1; i <= row; ++i) {
        if (kLoaderNumbers.at(static_cast<std::size_t>(i)) !=
            kLoaderNumbers.at(static_cast<std::size_t>(i - 1))) {
            offset += ProfileLength(i - 1);
        }
    }
    return offset;
}

// The first row whose four stored identification bytes equal the given ones, or -1.
constexpr int FindProfile(std::uint8_t maker, std::uint8_t device, std::uint8_t idByte2,
                          std::uint8_t variant) {
    for (std::size_t row = 0; row < kProfileCount; ++row) {
        const ProfileEntry& e = kProfileTable[row];
        if (e.maker == maker && e.device == device && e.idByte2 == idByte2 &&
            e.variant == variant) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

constexpr std::size_t HeaderLength(int row) {
    return row < kFirstLongHeaderRow ? kShortHeaderLength : kLongHeaderLength;
}

// The WRITE BUFFER transfer length of a row's loader, after rounding an odd length up.
constexpr std::size_t TransferLength(int row) {
    std::size_t length = ProfileLength(row);
    if (length % 2 != 0) {
        ++length;
    }
    if (row >= kFirstLongHeaderRow && row <= kLastShortTransferRow) {
        return length;
    }
    return HeaderLength(row) + length;
}

// Loader k (0 to 22), for building and checking the loader area.
struct LoaderSpan {
    std::size_t offset;
    std::size_t length;
};

constexpr LoaderSpan LoaderByNumber(std::uint32_t number) {
    for (std::size_t row = 0; row < kProfileCount; ++row) {
        if (kLoaderNumbers[row] == number) {
            const int r = static_cast<int>(row);
            return {LoaderOffset(r), ProfileLength(r)};
        }
    }
    return {0, 0};
}

namespace profile_detail {

// The Offset column of the vendor's table, kept to check the derivation against.
inline constexpr std::array<std::size_t, kProfileCount> kStatedOffsets{
    0,     314,   766,   766,   2046,  3326,  4324,  5120,  5120,  5814,
    6512,  7792,  8646,  9476,  10218, 11164, 11962, 12672, 13614, 14416,
    15402, 16156, 16156, 16156, 16156, 17390, 18468, 19590,
};

constexpr bool OffsetsMatchTable() {
    for (std::size_t row = 0; row < kProfileCount; ++row) {
        if (LoaderOffset(static_cast<int>(row)) != kStatedOffsets[row]) {
            return false;
        }
    }
    return true;
}

constexpr bool LoaderNumbersAreConsecutive() {
    if (kLoaderNumbers[0] != 0) {
        return false;
    }
    for (std::size_t row = 1; row < kProfileCount; ++row) {
        const std::uint32_t step = kLoaderNumbers[row] - kLoaderNumbers[row - 1];
        if (step > 1) {
            return false;
        }
        // Rows that share a loader must agree on its length.
        if (step == 0 &&
            ProfileLength(static_cast<int>(row)) != ProfileLength(static_cast<int>(row - 1))) {
            return false;
        }
    }
    return kLoaderNumbers[kProfileCount - 1] == kLoaderCount - 1;
}

} // namespace profile_detail

static_assert(profile_detail::LoaderNumbersAreConsecutive(),
              "loader numbers must run 0 to 22 without gaps, shared loaders with one length");
static_assert(profile_detail::OffsetsMatchTable(), "derived loader offsets differ from the table");
static_assert(LoaderOffset(kProfileCount - 1) + ProfileLength(kProfileCount - 1) == kLoaderAreaSize,
              "loader 22 must end exactly at the end of the loader area");

} // namespace zelfin
