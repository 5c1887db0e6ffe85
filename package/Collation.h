#pragma once

#include <string_view>

namespace zelfin {

// The one text comparison of the product (eligibility bounds, vendor and product match, the
// title placeholder). Negative, zero or positive as a sorts before, equal to or after b; whole
// texts, case-sensitive.
//
// Windows: the user's locale collation (CompareStringA, LOCALE_USER_DEFAULT, no flags).
// Elsewhere a fixed order that agrees with it on the package's alphabet: character by
// character, a text that begins a longer one sorts first, and bytes rank as
//   blank, "-", "#", "0".."9", "A".."Z", "a".."z", then every other byte by its value.
// Zero exactly when the texts are byte for byte equal.
int collate(std::string_view a, std::string_view b);

// Rank of one byte in the portable order above (0 is first); distinct bytes rank differently.
int collationRank(unsigned char c);

} // namespace zelfin
