#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zelfin {

// The text of a fixed field: the characters before its NUL, never past the field's end.
template <std::size_t N> std::string_view fieldText(const char (&field)[N]) {
    std::size_t length = 0;
    while (length < N && field[length] != '\0')
        ++length;
    return {field, length};
}

// The text from byte `from` of a fixed field on, up to the NUL or the field's end.
template <std::size_t N> std::string_view fieldTextFrom(const char (&field)[N], std::size_t from) {
    const std::string_view whole = fieldText(field);
    return from < whole.size() ? whole.substr(from) : std::string_view{};
}

// At most `count` characters of a text, and none after an embedded NUL.
inline std::string_view leading(std::string_view text, std::size_t count) {
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    return text.substr(0, count < text.size() ? count : text.size());
}

// The product's number reading: white space, one optional sign, then digits up to the first
// non-digit. No digits gives 0. Wide enough that a field's digits cannot overflow it.
std::int64_t readNumber(std::string_view text);

} // namespace zelfin
