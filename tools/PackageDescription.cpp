#include "tools/PackageDescription.h"

#include <algorithm>
#include <optional>

namespace zelfin::pack {

const std::vector<std::string_view> kTextKeys = {"PROGRAMMER_TAG", "APP_VERSION",  "CONTACT_PHONE",
                                                 "APP_TITLE",      "PACKAGE_DATE", "INFO_TEXT",
                                                 "DRIVE_NAME"};
const std::vector<std::string_view> kSettingKeys = {
    "N2OMESSAGE", "CHKDISC", "BOOTCODE", "REBOOT", "AUTOMODE", "CLOSEAP", "WARNING", "NBWARNING"};

namespace {

struct Tokens {
    std::vector<std::string> words;
    std::string error;
};

// Splits a line into blank-separated words; "..." keeps blanks, \" and \\ escape inside it.
Tokens tokenize(std::string_view line) {
    Tokens t;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        std::string word;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\') {
                    if (i >= line.size() || (line[i] != '"' && line[i] != '\\')) {
                        t.error = "only \\\" and \\\\ may follow a backslash";
                        return t;
                    }
                    word += line[i++];
                    continue;
                }
                word += c;
            }
            if (!closed) {
                t.error = "a quoted text is not closed";
                return t;
            }
            if (i < line.size() && line[i] != ' ' && line[i] != '\t') {
                t.error = "a quoted text must be followed by a blank or the end of the line";
                return t;
            }
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
                if (line[i] == '"') {
                    t.error = "a quote inside an unquoted word";
                    return t;
                }
                word += line[i++];
            }
        }
        t.words.push_back(std::move(word));
    }
    return t;
}

std::optional<std::int64_t> decimal(const std::string& word) {
    if (word.empty() || word.size() > 10)
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : word) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The key of a line that could not be split into words.
std::string_view firstWord(std::string_view line) {
    const std::size_t from = std::min(line.find_first_not_of(" \t"), line.size());
    line.remove_prefix(from);
    return line.substr(0, line.find_first_of(" \t"));
}

bool contains(const std::vector<std::string_view>& keys, std::string_view key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

} // namespace

PackageDescription parseDescription(std::string_view text, Problems& problems) {
    PackageDescription d;
    int lineNo = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::string at = "line " + std::to_string(lineNo) + ": ";

        const Tokens t = tokenize(line);
        if (!t.error.empty()) {
            problems.errors.push_back(at + t.error);
            const std::string_view first = firstWord(line);
            d.banksIncomplete = d.banksIncomplete || first == "BANK";
            d.slotsIncomplete = d.slotsIncomplete || first == "SLOT";
            continue;
        }
        if (t.words.empty() || t.words[0].starts_with("#"))
            continue;
        const std::string& key = t.words[0];
        const std::size_t args = t.words.size() - 1;

        if (contains(kTextKeys, key) || contains(kSettingKeys, key)) {
            auto& target = contains(kTextKeys, key) ? d.texts : d.settings;
            if (args != 1)
                problems.errors.push_back(at + key + " takes one value (quote texts with blanks)");
            else if (!target.emplace(key, t.words[1]).second)
                problems.errors.push_back(at + key + " is given twice");
            else
                d.keyLines[key] = lineNo;
        } else if (key == "HOW_MANY_BIN") {
            problems.errors.push_back(at + "HOW_MANY_BIN is not written by hand: it is the number "
                                           "of BANK lines");
        } else if (key == "BANK") {
            if (args != 5) {
                problems.errors.push_back(at + "BANK takes: number, image file, start, size, "
                                               "new revision");
                d.banksIncomplete = true;
                continue;
            }
            BankSpec b;
            b.line = lineNo;
            const auto number = decimal(t.words[1]);
            const auto start = decimal(t.words[3]);
            const auto size = decimal(t.words[4]);
            if (!number || *number < 1 || *number > 4)
                problems.errors.push_back(at + "bank number must be 1 to 4");
            if (!start || !size)
                problems.errors.push_back(at + "bank start and size must be decimal numbers of "
                                               "at most 10 digits");
            if (t.words[2].empty())
                problems.errors.push_back(at + "bank image file name is empty");
            if (!number || *number < 1 || *number > 4 || !start || !size || t.words[2].empty()) {
                d.banksIncomplete = true;
                continue;
            }
            b.number = static_cast<int>(*number);
            b.file = t.words[2];
            b.start = *start;
            b.size = *size;
            b.newRevision = t.words[5];
            d.banks.push_back(std::move(b));
        } else if (key == "SLOT") {
            if (args != 6) {
                problems.errors.push_back(at + "SLOT takes: group, slot, from, to, vendor, "
                                               "product (\"\" for a wildcard)");
                d.slotsIncomplete = true;
                continue;
            }
            const auto group = decimal(t.words[1]);
            const auto slot = decimal(t.words[2]);
            if (!group || *group < 1 || *group > 4 || !slot || *slot < 1 || *slot > 8) {
                problems.errors.push_back(at + "slot position must be group 1 to 4, slot 1 to 8");
                d.slotsIncomplete = true;
                continue;
            }
            d.slots.push_back(SlotSpec{static_cast<int>(*group), static_cast<int>(*slot),
                                       t.words[3], t.words[4], t.words[5], t.words[6], lineNo});
        } else {
            problems.errors.push_back(at + "unknown key " + key);
        }
    }
    return d;
}

} // namespace zelfin::pack
