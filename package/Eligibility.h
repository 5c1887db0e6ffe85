#pragma once

#include "package/Package.h"

#include <cstdint>
#include <string_view>

namespace zelfin {

// A drive's INQUIRY identity as its entry holds it (vendor 8, product 16, revision 4
// characters, trailing blanks included). Texts end at an embedded NUL if they hold one.
struct DriveIdentity {
    std::string_view vendor, product, revision;
};

// The verdict on one drive entry. groupIndex (0..3, also the bank less one) and upToDate carry
// meaning only when eligible is 1; for a drive that is not eligible the caller leaves the
// entry's groupIndex and upToDate as they were (applyVerdict does so).
struct Verdict {
    std::uint8_t eligible = 0;
    std::uint16_t groupIndex = 0;
    std::int16_t upToDate = 0;
};

// Holds one drive against the package's constraint table. `present` is the entry's flag; only
// the value 1 marks a discovered drive. Groups 1..min(HOW_MANY_BIN, 4) are walked, slots 1..8
// in order, and the first accepting slot decides; an unfilled slot accepts nothing.
Verdict judgeDrive(const Package& package, const Settings& settings, std::uint8_t present,
                   const DriveIdentity& drive);

// Writes a verdict into a drive entry with fields eligible, groupIndex and upToDate.
template <class Entry> void applyVerdict(Entry& entry, const Verdict& verdict) {
    entry.eligible = verdict.eligible;
    if (verdict.eligible == 1) {
        entry.groupIndex = verdict.groupIndex;
        entry.upToDate = verdict.upToDate;
    }
}

// Whether a drive programmed with bank 1..4 now answers as the package says a programmed drive
// does: the vendor and product it had before, and the bank's new revision (its first 4
// characters, as the eligibility walk reads them). Texts are compared byte for byte.
bool reportsBank(const Package& package, int bank, const DriveIdentity& before,
                 const DriveIdentity& now);

// True when the slot still holds its placeholder: "#FLS" lower bound and "#" first in the rest.
bool slotUnfilled(const SlotTexts& slot);

// Whether a filled slot accepts the drive (empty slot fields are wildcards, bounds inclusive).
bool slotAccepts(const SlotTexts& slot, const DriveIdentity& drive);

} // namespace zelfin
