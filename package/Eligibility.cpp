#include "package/Eligibility.h"

#include "package/Collation.h"
#include "package/FieldText.h"

#include <algorithm>

namespace zelfin {

namespace {
constexpr std::size_t kRevisionChars = 4;
constexpr std::size_t kVendorChars = 8;
constexpr std::size_t kProductChars = 16;

bool equal(std::string_view a, std::string_view b) {
    return collate(a, b) == 0;
}
std::string_view firstChar(std::string_view text) {
    return text.substr(0, 1);
}
} // namespace

bool slotUnfilled(const SlotTexts& slot) {
    return equal(leading(slot.from, kRevisionChars), "#FLS") &&
           equal(firstChar(slot.vendor), "#") && equal(firstChar(slot.to), "#") &&
           equal(firstChar(slot.product), "#");
}

bool slotAccepts(const SlotTexts& slot, const DriveIdentity& drive) {
    const std::string_view lower = leading(slot.from, kRevisionChars);
    const std::string_view upper = leading(slot.to, kRevisionChars);
    const std::string_view vendor = leading(slot.vendor, kVendorChars);
    const std::string_view product = leading(slot.product, kProductChars);
    const std::string_view revision = leading(drive.revision, kRevisionChars);

    if (!vendor.empty() && !equal(leading(drive.vendor, kVendorChars), vendor))
        return false;
    if (!product.empty() && !equal(leading(drive.product, kProductChars), product))
        return false;
    if (!lower.empty() && collate(revision, lower) < 0)
        return false;
    if (!upper.empty() && collate(revision, upper) > 0)
        return false;
    return true;
}

Verdict judgeDrive(const Package& package, const Settings& settings, std::uint8_t present,
                   const DriveIdentity& drive) {
    Verdict verdict;
    if (present != 1 || package.imageUnfilled())
        return verdict;

    // The table has four groups; a larger bank count must not walk past it.
    const int groups = std::min<int>(settings.HOW_MANY_BIN, kGroupCount);
    for (int group = 1; group <= groups; ++group) {
        for (int slot = 1; slot <= kSlotsPerGroup; ++slot) {
            const SlotTexts texts = *package.readSlot(group, slot);
            // An unfilled slot names no drive; taking it as a match would hand this firmware
            // to every optical drive in the machine.
            if (slotUnfilled(texts))
                continue;
            if (slotAccepts(texts, drive)) {
                verdict.eligible = 1;
                break;
            }
        }
        if (verdict.eligible == 1) {
            verdict.groupIndex = static_cast<std::uint16_t>(group - 1);
            const std::string_view newRevision =
                leading(package.newRevision(group), kRevisionChars);
            const bool atOrPast =
                collate(leading(drive.revision, kRevisionChars), newRevision) >= 0;
            verdict.upToDate = (atOrPast && settings.N2OMESSAGE == 1) ? 1 : 0;
            return verdict;
        }
    }
    return verdict;
}

} // namespace zelfin

namespace zelfin {

bool reportsBank(const Package& package, int bank, const DriveIdentity& before,
                 const DriveIdentity& now) {
    const std::string_view expected = leading(package.newRevision(bank), kRevisionChars);
    return !expected.empty() && leading(now.revision, kRevisionChars) == expected &&
           leading(now.vendor, kVendorChars) == leading(before.vendor, kVendorChars) &&
           leading(now.product, kProductChars) == leading(before.product, kProductChars);
}

} // namespace zelfin
