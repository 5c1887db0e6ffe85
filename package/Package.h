#pragma once

#include "package/PackageBlock.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelfin {

// The nine settings, decoded once at start-up and held for the life of the process.
struct Settings {
    std::uint8_t N2OMESSAGE = 0;
    std::uint8_t CHKDISC = 0;
    std::uint8_t BOOTCODE = 0;
    std::uint8_t REBOOT = 0;
    std::uint8_t AUTOMODE = 0;
    std::uint8_t CLOSEAP = 0;
    std::uint8_t WARNING = 0;
    std::uint8_t NBWARNING = 0;
    std::uint16_t HOW_MANY_BIN = 0;
};

// One bank of the image as a programming run sees it.
struct Bank {
    const std::uint8_t* data = nullptr;
    std::uint32_t start = 0;
    std::uint32_t length = 0;
};

// Why a bank cannot be cut; only Fits lets a programming job be built from it.
enum class BankFit : std::uint8_t {
    Fits,
    NoSuchBank,  // bank number outside 1..4
    Empty,       // size 0
    TooShort,    // size below one 4096-byte piece
    BeyondImage, // start + size past the end of the image, or a negative start or size
};

inline constexpr std::uint32_t kPieceSize = 4096;

// The fit rule shared by cutting and by the packaging tool.
BankFit bankFit(std::int64_t start, std::int64_t length);
std::string_view describe(BankFit fit);

// The four texts of one slot, whole (each up to its NUL).
struct SlotTexts {
    std::string_view from, to, vendor, product;
};

// Read-only view of a package block and the operations the product performs on it.
class Package {
public:
    explicit Package(const PackageBlock& block) : block_(block) {}

    const PackageBlock& block() const { return block_; }

    Settings decodeSettings() const;

    // The caption: the title, or "Zelfin <version>" while the title holds its placeholder.
    std::string windowTitle() const;

    // True while the image still holds its placeholder (the first 19 bytes decide).
    bool imageUnfilled() const;

    // group 1..4, slot 1..8; std::nullopt outside those ranges.
    std::optional<SlotTexts> readSlot(int group, int slot) const;

    // The text after the "=" of NEW_FW<bank>, bank 1..4; empty outside that range.
    std::string_view newRevision(int bank) const;

    // The decoded start and size fields of bank 1..4 (0 outside that range).
    std::int64_t bankStart(int bank) const;
    std::int64_t bankSize(int bank) const;

    BankFit checkBank(int bank) const;
    // The bank's bytes, or std::nullopt when it does not fit (ask checkBank why).
    std::optional<Bank> cutBank(int bank) const;

    // The current bank before any job: start 0, length 0, data at the image's first byte.
    Bank initialBank() const { return Bank{block_.FW_IMAGE, 0, 0}; }

    std::string_view driveName() const;

private:
    const PackageBlock& block_;
};

// One setting's value: the last character of its text read as a number (a digit or 0).
std::uint8_t decodeSettingText(std::string_view text);

} // namespace zelfin
