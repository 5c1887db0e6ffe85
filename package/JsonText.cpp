#include "package/JsonText.h"

#include <cstdio>

namespace zelfin {

std::string jsonString(std::string_view text) {
    std::string s = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            s += '\\';
            s += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned{c});
            s += escaped;
        } else {
            s += static_cast<char>(c);
        }
    }
    return s + "\"";
}

} // namespace zelfin
