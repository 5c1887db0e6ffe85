#pragma once

// The plain-text package description that zelfin-pack writes into an executable
// (format: tools/PACKAGE_FORMAT.md).

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zelfin::pack {

struct BankSpec {
    int number = 0; // 1..4
    std::string file;
    std::int64_t start = 0;
    std::int64_t size = 0;
    std::string newRevision;
    std::vector<std::uint8_t> data; // the file's bytes, loaded by the caller
    bool unread = false;            // the caller could not read the file and said so
    int line = 0;
};

struct SlotSpec {
    int group = 0; // 1..4
    int slot = 0;  // 1..8
    std::string from, to, vendor, product;
    int line = 0;
};

struct PackageDescription {
    std::map<std::string, std::string> texts;    // identity texts by key, e.g. "APP_TITLE"
    std::map<std::string, std::string> settings; // setting values by key, e.g. "REBOOT"
    std::map<std::string, int> keyLines;         // the line each text or setting is given on
    std::vector<BankSpec> banks;
    std::vector<SlotSpec> slots;
    // A BANK or SLOT line was refused: checks of the whole set of banks or slots would only
    // repeat that problem in other words.
    bool banksIncomplete = false;
    bool slotsIncomplete = false;
};

// What went wrong, or what deserves a second look; nothing is written while errors is not empty.
struct Problems {
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    bool ok() const { return errors.empty(); }
};

// The keys of the identity texts and settings, in block order.
extern const std::vector<std::string_view> kTextKeys;
extern const std::vector<std::string_view> kSettingKeys;

// Reads the description's syntax; values are checked when the block is composed.
PackageDescription parseDescription(std::string_view text, Problems& problems);

} // namespace zelfin::pack
