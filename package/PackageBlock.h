#pragma once

// The package block as it sits in the executable: fixed fields, no gaps, filled after linking.
// Every text field is NUL-terminated and NUL-padded; a field of size N holds at most N - 1
// characters.

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace zelfin {

inline constexpr std::size_t kImageSize = 1048576;
inline constexpr int kGroupCount = 4;
inline constexpr int kSlotsPerGroup = 8;
inline constexpr int kBankCount = 4;

// One constraint slot: which installed revisions of which drive a group may replace.
struct ConstraintSlot {
    char FW_FROM[8];
    char FW_TO[8];
    char VENDOR[12];
    char PRODUCT[20];
};

struct PackageBlock {
    char PROGRAMMER_TAG[21];
    char APP_VERSION[13];
    char CONTACT_PHONE[15];
    char APP_TITLE[64];
    char PACKAGE_DATE[12];
    char INFO_TEXT[32];
    char DRIVE_NAME[65];
    char constraintMarker[16];
    ConstraintSlot constraints[kGroupCount][kSlotsPerGroup];
    char N2OMESSAGE[13];
    char CHKDISC[10];
    char BOOTCODE[18];
    char REBOOT[9];
    char AUTOMODE[11];
    char CLOSEAP[10];
    char WARNING[10];
    char NBWARNING[12];
    char HOW_MANY_BIN[20];
    char BIN_START[kBankCount][22];
    char BIN_SIZE[kBankCount][21];
    char NEW_FW[kBankCount][16];
    std::uint8_t FW_IMAGE[kImageSize];
};

static_assert(std::is_standard_layout_v<ConstraintSlot>);
static_assert(sizeof(ConstraintSlot) == 48);
static_assert(offsetof(ConstraintSlot, FW_FROM) == 0);
static_assert(offsetof(ConstraintSlot, FW_TO) == 8);
static_assert(offsetof(ConstraintSlot, VENDOR) == 16);
static_assert(offsetof(ConstraintSlot, PRODUCT) == 28);

static_assert(std::is_standard_layout_v<PackageBlock>);
static_assert(std::is_trivially_copyable_v<PackageBlock>);
static_assert(alignof(PackageBlock) == 1);
static_assert(sizeof(PackageBlock) == 1050699);
static_assert(offsetof(PackageBlock, PROGRAMMER_TAG) == 0);
static_assert(offsetof(PackageBlock, APP_VERSION) == 21);
static_assert(offsetof(PackageBlock, CONTACT_PHONE) == 34);
static_assert(offsetof(PackageBlock, APP_TITLE) == 49);
static_assert(offsetof(PackageBlock, PACKAGE_DATE) == 113);
static_assert(offsetof(PackageBlock, INFO_TEXT) == 125);
static_assert(offsetof(PackageBlock, DRIVE_NAME) == 157);
static_assert(offsetof(PackageBlock, constraintMarker) == 222);
static_assert(offsetof(PackageBlock, constraints) == 238);
static_assert(sizeof(PackageBlock::constraints) == 1536);
static_assert(offsetof(PackageBlock, N2OMESSAGE) == 1774);
static_assert(offsetof(PackageBlock, CHKDISC) == 1787);
static_assert(offsetof(PackageBlock, BOOTCODE) == 1797);
static_assert(offsetof(PackageBlock, REBOOT) == 1815);
static_assert(offsetof(PackageBlock, AUTOMODE) == 1824);
static_assert(offsetof(PackageBlock, CLOSEAP) == 1835);
static_assert(offsetof(PackageBlock, WARNING) == 1845);
static_assert(offsetof(PackageBlock, NBWARNING) == 1855);
static_assert(offsetof(PackageBlock, HOW_MANY_BIN) == 1867);
static_assert(offsetof(PackageBlock, BIN_START) == 1887);
static_assert(sizeof(PackageBlock::BIN_START) == 4 * 22);
static_assert(offsetof(PackageBlock, BIN_SIZE) == 1975);
static_assert(sizeof(PackageBlock::BIN_SIZE) == 4 * 21);
static_assert(offsetof(PackageBlock, NEW_FW) == 2059);
static_assert(sizeof(PackageBlock::NEW_FW) == 4 * 16);
static_assert(offsetof(PackageBlock, FW_IMAGE) == 2123);
static_assert(offsetof(PackageBlock, FW_IMAGE) + kImageSize == sizeof(PackageBlock));

// Byte offset of slot s (1..8) of group g (1..4) from the start of the block.
constexpr std::size_t slotOffset(int group, int slot) {
    return 238 + static_cast<std::size_t>(group - 1) * 384 +
           static_cast<std::size_t>(slot - 1) * 48;
}
static_assert(slotOffset(4, 8) + sizeof(ConstraintSlot) == offsetof(PackageBlock, N2OMESSAGE));

// Where the digits of the bank fields start: after "BIN_START1=", "BIN_SIZE1=", "NEW_FW1=".
inline constexpr std::size_t kStartDigitsAt = 11;
inline constexpr std::size_t kSizeDigitsAt = 10;
inline constexpr std::size_t kNewRevisionAt = 8;

} // namespace zelfin
