#include "tools/BankIdentity.h"
#include "tools/PackageReport.h"

#include "package/Eligibility.h"
#include "package/Package.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <string_view>

namespace zelfin::pack {

namespace {

constexpr std::size_t kRevisionWidth = 4;

// The record's whole length, as its header gives it.
constexpr std::size_t kMainRecordSize = kMainRecordHeader[4] + std::size_t{5};

// Record bytes come from a firmware file: shown as any other text of it.
std::string shown(std::span<const std::uint8_t> bytes) {
    return pack::shown(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string hex(std::size_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%zX", value);
    return text;
}

bool startsWith(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> header) {
    return bytes.size() >= header.size() && std::equal(header.begin(), header.end(), bytes.begin());
}

std::string_view text(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// True when some filled slot of the group accepts this vendor and product (empty is a wildcard),
// or the group names no drive at all, so there is nothing to hold the record to.
bool groupAccepts(const Package& package, int group, std::string_view vendor,
                  std::string_view product) {
    bool anyFilled = false;
    for (int n = 1; n <= kSlotsPerGroup; ++n) {
        const SlotTexts slot = *package.readSlot(group, n);
        if (slotUnfilled(slot))
            continue;
        anyFilled = true;
        if ((slot.vendor.empty() || slot.vendor == vendor) &&
            (slot.product.empty() || slot.product == product))
            return true;
    }
    return !anyFilled;
}

void checkMainRecord(const Package& package, int n, std::span<const std::uint8_t> bank,
                     std::vector<BankIdentityFinding>& findings) {
    if (bank.size() <= kMainRecordAt)
        return;
    const std::string where = "bank offset " + hex(kMainRecordAt);
    if (bank.size() < kMainRecordAt + kMainRecordSize) {
        findings.push_back({n, "ends at byte " + std::to_string(bank.size()) +
                                   ", inside the main identity record at " + where +
                                   "; the drive would be left with part of one"});
        return;
    }
    const auto record = bank.subspan(kMainRecordAt, kMainRecordSize);
    if (!startsWith(record, kMainRecordHeader)) {
        findings.push_back({n, "no main identity record (05 80 00 32 5B) at " + where +
                                   "; the drive would not start the firmware and fall back to "
                                   "its boot code"});
        return;
    }
    const auto vendor = record.subspan(kRecordVendorAt, 8);
    const auto product = record.subspan(kRecordProductAt, 16);
    const auto revision = record.subspan(kRecordRevisionAt, kRevisionWidth);
    if (!groupAccepts(package, n, text(vendor), text(product)))
        findings.push_back({n, "the main identity record names vendor " + shown(vendor) +
                                   " product " + shown(product) + ", which no slot of group " +
                                   std::to_string(n) +
                                   " accepts; after the update no package would recognise the "
                                   "drive"});
    // The drive reports 4 characters; a shorter new revision is matched blank-padded.
    std::string announced(package.newRevision(n).substr(0, kRevisionWidth));
    announced.resize(kRevisionWidth, ' ');
    if (text(revision) != announced)
        findings.push_back({n, "the main identity record says revision " + shown(revision) +
                                   ", but NEW_FW" + std::to_string(n) + " announces \"" +
                                   announced +
                                   "\"; the drive would report the wrong revision "
                                   "after the update"});
}

} // namespace

std::vector<BankIdentityFinding> checkBankIdentity(const PackageBlock& block) {
    const Package package(block);
    const Settings settings = package.decodeSettings();
    std::vector<BankIdentityFinding> findings;
    const int inUse = std::min<int>(settings.HOW_MANY_BIN, kBankCount);
    for (int n = 1; n <= inUse; ++n) {
        const std::optional<Bank> cut = package.cutBank(n);
        if (!cut)
            continue;
        const std::span<const std::uint8_t> bank(cut->data, cut->length);
        checkMainRecord(package, n, bank, findings);
        // With the boot-code setting the drive rewrites its boot area from the bank too.
        if (settings.BOOTCODE != 0 && (bank.size() <= kBootRecordAt ||
                                       !startsWith(bank.subspan(kBootRecordAt), kBootRecordHeader)))
            findings.push_back({n, "BOOTCODE " + std::to_string(settings.BOOTCODE) +
                                       " rewrites the boot area, but there is no boot identity "
                                       "record (05 80 00 32 1F) at bank offset " +
                                       hex(kBootRecordAt) + "; the drive could not start again"});
    }
    return findings;
}

} // namespace zelfin::pack
