// Built on Windows only: the user's locale collation, as the product compares texts there.
#include "package/Collation.h"

#include <windows.h>

#include <limits>

namespace zelfin {

int collate(std::string_view a, std::string_view b) {
    constexpr std::size_t kMax = static_cast<std::size_t>(std::numeric_limits<int>::max());
    if (a.size() > kMax || b.size() > kMax)
        return a < b ? -1 : (a == b ? 0 : 1);
    const int result = CompareStringA(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()),
                                      b.data(), static_cast<int>(b.size()));
    switch (result) {
    case CSTR_LESS_THAN:
        return -1;
    case CSTR_EQUAL:
        // The locale may call distinct texts alike (it skips some bytes, such as NUL): a vendor
        // or revision must match byte for byte, so those keep their byte order.
        return a == b ? 0 : (a < b ? -1 : 1);
    case CSTR_GREATER_THAN:
        return 1;
    default:
        // The call failed (bad locale, bad arguments): an undecided comparison must not read
        // as "equal", so fall back to the plain byte order.
        return a < b ? -1 : (a == b ? 0 : 1);
    }
}

} // namespace zelfin
