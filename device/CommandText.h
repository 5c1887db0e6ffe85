#pragma once
// A command's outcome and its sense data in the standard names, for the reasons a user reads.
#include "device/CommandResult.h"

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
// "check condition, sense 3/0C/00 MEDIUM ERROR, WRITE ERROR", "no answer", "timed out after
// 10.0 s", "refused by the system (error 5)", "status 18h RESERVATION CONFLICT".
std::string describeOutcome(const CommandResult& result);

} // namespace zelfin
