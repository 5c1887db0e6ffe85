#pragma once
// JSON output is written by hand; every text in it goes through here.

#include <string>
#include <string_view>

namespace zelfin {

// The text as a JSON string, quotes included. Drive and package texts are single-byte
// characters: bytes from 0x80 up are read as Latin-1, so the output is plain ASCII and always
// valid UTF-8.
std::string jsonString(std::string_view text);

} // namespace zelfin
