#include "package/Collation.h"

#include <algorithm>

namespace zelfin {

namespace {

constexpr int kDigitsFrom = 3;
constexpr int kUpperFrom = kDigitsFrom + 10;
constexpr int kLowerFrom = kUpperFrom + 26;
constexpr int kOthersFrom = kLowerFrom + 26;

// Bytes that are not blank, "-", "#", a digit or a letter, in byte order after the letters.
int rankOfOther(unsigned char c) {
    int below = 0; // ranked bytes with a smaller value than c
    below += c > ' ' ? 1 : 0;
    below += c > '#' ? 1 : 0;
    below += c > '-' ? 1 : 0;
    below += c > '9' ? 10 : 0;
    below += c > 'Z' ? 26 : 0;
    below += c > 'z' ? 26 : 0;
    return kOthersFrom + c - below;
}

} // namespace

int collationRank(unsigned char c) {
    if (c == ' ')
        return 0;
    if (c == '-')
        return 1;
    if (c == '#')
        return 2;
    if (c >= '0' && c <= '9')
        return kDigitsFrom + (c - '0');
    if (c >= 'A' && c <= 'Z')
        return kUpperFrom + (c - 'A');
    if (c >= 'a' && c <= 'z')
        return kLowerFrom + (c - 'a');
    return rankOfOther(c);
}

#ifndef _WIN32
int collate(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const int ra = collationRank(static_cast<unsigned char>(a[i]));
        const int rb = collationRank(static_cast<unsigned char>(b[i]));
        if (ra != rb)
            return ra < rb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}
#endif

} // namespace zelfin
