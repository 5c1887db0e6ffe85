#include "tools/ComposeBlock.h"

#include "package/Collation.h"
#include "package/Eligibility.h"
#include "package/Package.h"
#include "package/PackageTemplate.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>

namespace zelfin::pack {

namespace {

constexpr std::size_t kVendorWidth = 8;
constexpr std::size_t kProductWidth = 16;
constexpr std::size_t kRevisionWidth = 4;

struct Field {
    char* bytes;
    std::size_t size;
};

template <std::size_t N> Field field(char (&f)[N]) {
    return {f, N};
}

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// Revisions sort the same under every collation only on this alphabet.
bool revisionAlphabet(std::string_view text) {
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')))
            return false;
    return true;
}

bool printable(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

// Writes text and NUL padding at `from` in the field, or says why it cannot.
bool put(Field f, std::size_t from, std::string_view text, const std::string& what,
         Problems& problems) {
    if (!printable(text)) {
        problems.errors.push_back(what + ": control characters are not allowed");
        return false;
    }
    const std::size_t room = f.size - from - 1;
    if (text.size() > room) {
        problems.errors.push_back(what + ": " + quoted(text) + " is " +
                                  std::to_string(text.size()) +
                                  " characters, the field holds at most " + std::to_string(room));
        return false;
    }
    std::memset(f.bytes + from, 0, f.size - from);
    std::memcpy(f.bytes + from, text.data(), text.size());
    return true;
}

Field textField(PackageBlock& b, std::string_view key) {
    if (key == "PROGRAMMER_TAG")
        return field(b.PROGRAMMER_TAG);
    if (key == "APP_VERSION")
        return field(b.APP_VERSION);
    if (key == "CONTACT_PHONE")
        return field(b.CONTACT_PHONE);
    if (key == "APP_TITLE")
        return field(b.APP_TITLE);
    if (key == "PACKAGE_DATE")
        return field(b.PACKAGE_DATE);
    if (key == "INFO_TEXT")
        return field(b.INFO_TEXT);
    return field(b.DRIVE_NAME);
}

Field settingField(PackageBlock& b, std::string_view key) {
    if (key == "N2OMESSAGE")
        return field(b.N2OMESSAGE);
    if (key == "CHKDISC")
        return field(b.CHKDISC);
    if (key == "BOOTCODE")
        return field(b.BOOTCODE);
    if (key == "REBOOT")
        return field(b.REBOOT);
    if (key == "AUTOMODE")
        return field(b.AUTOMODE);
    if (key == "CLOSEAP")
        return field(b.CLOSEAP);
    if (key == "WARNING")
        return field(b.WARNING);
    return field(b.NBWARNING);
}

std::string tenDigits(std::int64_t value) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%010lld", static_cast<long long>(value));
    return digits;
}

std::string bankLabel(const BankSpec& b) {
    return "line " + std::to_string(b.line) + ": bank " + std::to_string(b.number);
}

// Places every bank's bytes in the image; the image starts blank so the placeholder is gone.
bool placeBanks(const PackageDescription& d, PackageBlock& block, Problems& problems) {
    std::memset(block.FW_IMAGE, 0, kImageSize);
    std::vector<bool> written(kImageSize, false);
    bool ok = true;
    for (const BankSpec& b : d.banks) {
        const std::string at = bankLabel(b);
        if (b.unread) {
            ok = false; // its file's problem is already reported on its line
            continue;
        }
        const BankFit fit = bankFit(b.start, b.size);
        if (fit != BankFit::Fits) {
            problems.errors.push_back(at + " (start " + std::to_string(b.start) + ", size " +
                                      std::to_string(b.size) + "): " + std::string(describe(fit)));
            ok = false;
            continue;
        }
        // The file is either the bank's own bytes or a whole image the bank is a window of.
        std::size_t from = 0;
        if (b.data.size() == kImageSize)
            from = static_cast<std::size_t>(b.start);
        else if (b.data.size() != static_cast<std::size_t>(b.size)) {
            problems.errors.push_back(at + ": " + quoted(b.file) + " holds " +
                                      std::to_string(b.data.size()) + " bytes; it must hold the " +
                                      std::to_string(b.size) + " bytes of the bank or a whole " +
                                      "1048576-byte image");
            ok = false;
            continue;
        }
        const auto start = static_cast<std::size_t>(b.start);
        for (std::size_t i = 0; i < static_cast<std::size_t>(b.size); ++i) {
            const std::uint8_t byte = b.data[from + i];
            if (written[start + i] && block.FW_IMAGE[start + i] != byte) {
                problems.errors.push_back(at +
                                          " overlaps an earlier bank with different bytes at "
                                          "image offset " +
                                          std::to_string(start + i));
                ok = false;
                break;
            }
            block.FW_IMAGE[start + i] = byte;
            written[start + i] = true;
        }
    }
    return ok;
}

void checkBanks(const PackageDescription& d, Problems& problems) {
    std::array<const BankSpec*, kBankCount + 1> byNumber{};
    for (const BankSpec& b : d.banks) {
        if (byNumber[b.number] != nullptr)
            problems.errors.push_back(bankLabel(b) + " is given twice");
        byNumber[b.number] = &b;
    }
    if (d.banks.empty() && !d.banksIncomplete)
        problems.errors.push_back("no BANK line: a package without firmware only tells the user "
                                  "\"No F/W in executable !\"");
    int highest = 0;
    for (int n = 1; n <= kBankCount; ++n)
        if (byNumber[n] != nullptr)
            highest = n;
    for (int n = 1; n < highest && !d.banksIncomplete; ++n)
        if (byNumber[n] == nullptr)
            problems.errors.push_back("bank " + std::to_string(n) +
                                      " is missing: banks must be "
                                      "numbered from 1 without gaps");
    for (const BankSpec& b : d.banks) {
        const std::string_view compared = std::string_view(b.newRevision).substr(0, kRevisionWidth);
        if (b.newRevision.empty())
            problems.errors.push_back(bankLabel(b) + ": the new revision is empty");
        else if (!revisionAlphabet(compared))
            problems.errors.push_back(bankLabel(b) + ": new revision " + quoted(b.newRevision) +
                                      " must begin with 4 digits or upper-case letters; "
                                      "drive revisions are compared with those 4");
        else if (compared.size() < kRevisionWidth)
            problems.warnings.push_back(bankLabel(b) + ": new revision " + quoted(b.newRevision) +
                                        " is shorter than 4 characters; a drive revision that "
                                        "begins with it sorts after it and counts as up to date");
    }
}

void writeBanks(const PackageDescription& d, PackageBlock& block, Problems& problems) {
    for (const BankSpec& b : d.banks) {
        const int i = b.number - 1;
        const std::string at = bankLabel(b);
        put(field(block.BIN_START[i]), kStartDigitsAt, tenDigits(b.start), at + " start", problems);
        put(field(block.BIN_SIZE[i]), kSizeDigitsAt, tenDigits(b.size), at + " size", problems);
        put(field(block.NEW_FW[i]), kNewRevisionAt, b.newRevision, at + " new revision", problems);
    }
    const std::string count = "HOW_MANY_BIN=" + std::to_string(d.banks.size());
    put(field(block.HOW_MANY_BIN), 0, count, "HOW_MANY_BIN", problems);
}

void writeSlots(const PackageDescription& d, PackageBlock& block, Problems& problems) {
    std::set<std::pair<int, int>> seen;
    std::set<int> banks;
    for (const BankSpec& b : d.banks)
        banks.insert(b.number);
    std::set<int> groupsWithSlots;

    for (const SlotSpec& s : d.slots) {
        const std::string at = "line " + std::to_string(s.line) + ": slot " +
                               std::to_string(s.group) + " " + std::to_string(s.slot);
        if (!seen.insert({s.group, s.slot}).second) {
            problems.errors.push_back(at + " is given twice");
            continue;
        }
        groupsWithSlots.insert(s.group);
        if (!banks.contains(s.group) && !d.banksIncomplete)
            problems.errors.push_back(at + ": group " + std::to_string(s.group) +
                                      " is filled but bank " + std::to_string(s.group) +
                                      " is empty");
        bool boundsInAlphabet = true;
        for (const auto& [name, bound] : {std::pair{"from", &s.from}, std::pair{"to", &s.to}}) {
            if (revisionAlphabet(*bound))
                continue;
            boundsInAlphabet = false;
            problems.errors.push_back(at + ": " + name + " " + quoted(*bound) +
                                      " may hold only digits and upper-case letters, or be "
                                      "empty; other characters sort differently on other "
                                      "systems");
        }
        if (s.from.size() > kRevisionWidth || s.to.size() > kRevisionWidth)
            problems.errors.push_back(at + ": revision bounds are compared on 4 characters; "
                                           "longer bounds would be cut");
        if (!s.vendor.empty() && s.vendor.size() != kVendorWidth)
            problems.errors.push_back(at + ": vendor " + quoted(s.vendor) +
                                      " must be exactly 8 characters, trailing blanks included, "
                                      "as the drive reports it; this slot could never match");
        if (!s.product.empty() && s.product.size() != kProductWidth)
            problems.errors.push_back(at + ": product " + quoted(s.product) +
                                      " must be exactly 16 characters, trailing blanks included, "
                                      "as the drive reports it; this slot could never match");
        const SlotTexts texts{s.from, s.to, s.vendor, s.product};
        if (slotUnfilled(texts))
            problems.errors.push_back(at + " reads as an unfilled placeholder and would accept "
                                           "nothing");
        if (boundsInAlphabet && !s.from.empty() && !s.to.empty() && collate(s.from, s.to) > 0)
            problems.errors.push_back(at + ": from " + quoted(s.from) + " sorts after to " +
                                      quoted(s.to) + "; the slot would accept no revision");
        if (s.vendor.empty() && s.product.empty())
            problems.warnings.push_back(at +
                                        (s.from.empty() && s.to.empty()
                                             ? " accepts every drive: all four fields are empty"
                                             : " accepts drives of every vendor and product"));
        else if (s.vendor.empty() || s.product.empty())
            problems.warnings.push_back(at + " accepts drives of any " +
                                        (s.vendor.empty() ? "vendor" : "product"));

        ConstraintSlot& slot = block.constraints[s.group - 1][s.slot - 1];
        put(field(slot.FW_FROM), 0, s.from, at + " from", problems);
        put(field(slot.FW_TO), 0, s.to, at + " to", problems);
        put(field(slot.VENDOR), 0, s.vendor, at + " vendor", problems);
        put(field(slot.PRODUCT), 0, s.product, at + " product", problems);
    }
    if (d.slots.empty() && !d.slotsIncomplete)
        problems.errors.push_back("no SLOT line: no drive would ever be eligible");
    for (const BankSpec& b : d.banks)
        if (!groupsWithSlots.contains(b.number) && !d.slotsIncomplete)
            problems.warnings.push_back(bankLabel(b) +
                                        " has no slot in its group and is never used");
}

} // namespace

// Bank numbers and slot positions index fixed tables: one out of range is refused before any
// table is indexed by it.
bool positionsInRange(const PackageDescription& d, Problems& problems) {
    bool ok = true;
    for (const BankSpec& b : d.banks) {
        if (b.number < 1 || b.number > kBankCount) {
            problems.errors.push_back("line " + std::to_string(b.line) +
                                      ": bank number must be 1 to 4");
            ok = false;
        }
    }
    for (const SlotSpec& s : d.slots) {
        if (s.group < 1 || s.group > kGroupCount || s.slot < 1 || s.slot > kSlotsPerGroup) {
            problems.errors.push_back("line " + std::to_string(s.line) +
                                      ": slot position must be group 1 to 4, slot 1 to 8");
            ok = false;
        }
    }
    return ok;
}

bool composeBlock(const PackageDescription& d, PackageBlock& block, Problems& problems) {
    const std::size_t errorsBefore = problems.errors.size();
    writeTemplate(block);

    // "line 7: WARNING", or the key alone for a description built without lines.
    const auto keyAt = [&](const std::string& key) {
        const auto line = d.keyLines.find(key);
        return line == d.keyLines.end() ? key : "line " + std::to_string(line->second) + ": " + key;
    };
    for (const auto& [key, value] : d.texts)
        put(textField(block, key), 0, value, keyAt(key), problems);
    for (const auto& [key, value] : d.settings) {
        if (value.size() != 1 || value[0] < '0' || value[0] > '9') {
            problems.errors.push_back(keyAt(key) + ": " + quoted(value) + " is not one digit");
            continue;
        }
        const Field f = settingField(block, key);
        put(f, std::strlen(f.bytes) - 1, value, keyAt(key), problems);
    }

    if (!positionsInRange(d, problems))
        return false;
    checkBanks(d, problems);
    placeBanks(d, block, problems);
    writeBanks(d, block, problems);
    writeSlots(d, block, problems);

    if (problems.errors.size() == errorsBefore && Package(block).imageUnfilled())
        problems.errors.push_back("the image begins with the unfilled placeholder text");
    return problems.errors.size() == errorsBefore;
}

} // namespace zelfin::pack
