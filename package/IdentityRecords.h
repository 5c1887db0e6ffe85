#pragma once
// Where the drive's firmware keeps the identity INQUIRY reports: the main firmware's record and
// the boot code's, at fixed flash offsets. A bank is written into the flash from its first
// byte, so a bank's own offsets are the flash's. A record is the header, then vendor (8),
// product (16) and revision (4) at fixed places.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace zelfin {

inline constexpr std::size_t kMainRecordAt = 0x61300;
inline constexpr std::size_t kBootRecordAt = 0x63D;
inline constexpr std::array<std::uint8_t, 5> kMainRecordHeader{0x05, 0x80, 0x00, 0x32, 0x5B};
inline constexpr std::array<std::uint8_t, 5> kBootRecordHeader{0x05, 0x80, 0x00, 0x32, 0x1F};
inline constexpr std::size_t kRecordVendorAt = 8;
inline constexpr std::size_t kRecordProductAt = 16;
inline constexpr std::size_t kRecordRevisionAt = 32;
inline constexpr std::size_t kRecordRevisionChars = 4;

// The revision the boot code in `bank` reports, or empty when the bank carries no boot record.
std::string_view bootCodeRevision(std::span<const std::uint8_t> bank);

} // namespace zelfin
