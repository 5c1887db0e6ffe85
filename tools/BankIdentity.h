#pragma once

// What a drive would report after taking a bank: the drive writes the bank into its flash from
// offset 0 and answers INQUIRY from the identity records found there, so a bank whose records do
// not name the drive its package accepts, at the revision the package announces, leaves a drive
// that no package recognises again (or, without a boot record, one that cannot start at all).

#include "package/PackageBlock.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelfin::pack {

// The main firmware's INQUIRY record and the boot code's, at these flash offsets. A record is
// the header, then vendor (8), product (16) and revision (4) at fixed places; its length is the
// header's fifth byte plus 5.
inline constexpr std::size_t kMainRecordAt = 0x61300;
inline constexpr std::size_t kBootRecordAt = 0x63D;
inline constexpr std::array<std::uint8_t, 5> kMainRecordHeader{0x05, 0x80, 0x00, 0x32, 0x5B};
inline constexpr std::array<std::uint8_t, 5> kBootRecordHeader{0x05, 0x80, 0x00, 0x32, 0x1F};
inline constexpr std::size_t kRecordVendorAt = 8;
inline constexpr std::size_t kRecordProductAt = 16;
inline constexpr std::size_t kRecordRevisionAt = 32;

struct BankIdentityFinding {
    int bank = 0; // 1..4
    std::string problem;
};

// Every bank in use whose bytes would leave the drive with a wrong or missing identity: a bank
// long enough to replace the main record must carry one naming a drive its group's slots accept
// at the first 4 characters of its new revision; with the boot-code setting on, every bank must
// carry the boot record. Banks that cannot be cut are left to the checks that refuse them.
std::vector<BankIdentityFinding> checkBankIdentity(const PackageBlock& block);

} // namespace zelfin::pack
