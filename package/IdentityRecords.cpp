#include "package/IdentityRecords.h"

#include <algorithm>

namespace zelfin {

std::string_view bootCodeRevision(std::span<const std::uint8_t> bank) {
    constexpr std::size_t kEnd = kBootRecordAt + kRecordRevisionAt + kRecordRevisionChars;
    if (bank.size() < kEnd ||
        !std::equal(kBootRecordHeader.begin(), kBootRecordHeader.end(),
                    bank.begin() + static_cast<std::ptrdiff_t>(kBootRecordAt))) {
        return {};
    }
    return {reinterpret_cast<const char*>(bank.data()) + kBootRecordAt + kRecordRevisionAt,
            kRecordRevisionChars};
}

} // namespace zelfin
