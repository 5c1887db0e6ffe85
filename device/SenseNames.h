#pragma once
// The standard names of sense data, for the reasons a user reads.
#include <cstdint>
#include <string>
#include <string_view>

namespace zelfin {

// "MEDIUM ERROR"; the key is the low four bits of sense byte 2.
std::string_view senseKeyName(uint8_t key);
// "WRITE ERROR"; empty when the pair is not a standard one this table knows.
std::string_view additionalSenseName(uint8_t asc, uint8_t ascq);
// "3/0C/00 MEDIUM ERROR, WRITE ERROR": key, ASC and ASCQ in hex, then their names.
std::string describeSense(uint8_t key, uint8_t asc, uint8_t ascq);

} // namespace zelfin
