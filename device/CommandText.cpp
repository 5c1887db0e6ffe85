#include "device/CommandText.h"

#include <array>
#include <cstdio>

namespace zelfin {
namespace {

struct AdditionalSense {
    uint8_t asc;
    uint8_t ascq;
    std::string_view name;
};

// The codes a drive of this kind answers during a scan, an update and its restart.
constexpr AdditionalSense kAdditionalSense[] = {
    {0x00, 0x00, "NO ADDITIONAL SENSE INFORMATION"},
    {0x04, 0x00, "LOGICAL UNIT NOT READY, CAUSE NOT REPORTABLE"},
    {0x04, 0x01, "LOGICAL UNIT IS IN PROCESS OF BECOMING READY"},
    {0x04, 0x02, "LOGICAL UNIT NOT READY, INITIALIZING COMMAND REQUIRED"},
    {0x04, 0x03, "LOGICAL UNIT NOT READY, MANUAL INTERVENTION REQUIRED"},
    {0x04, 0x04, "LOGICAL UNIT NOT READY, FORMAT IN PROGRESS"},
    {0x04, 0x07, "LOGICAL UNIT NOT READY, OPERATION IN PROGRESS"},
    {0x04, 0x08, "LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS"},
    {0x0C, 0x00, "WRITE ERROR"},
    {0x11, 0x00, "UNRECOVERED READ ERROR"},
    {0x1A, 0x00, "PARAMETER LIST LENGTH ERROR"},
    {0x20, 0x00, "INVALID COMMAND OPERATION CODE"},
    {0x21, 0x00, "LOGICAL BLOCK ADDRESS OUT OF RANGE"},
    {0x24, 0x00, "INVALID FIELD IN CDB"},
    {0x25, 0x00, "LOGICAL UNIT NOT SUPPORTED"},
    {0x26, 0x00, "INVALID FIELD IN PARAMETER LIST"},
    {0x28, 0x00, "NOT READY TO READY CHANGE, MEDIUM MAY HAVE CHANGED"},
    {0x29, 0x00, "POWER ON, RESET, OR BUS DEVICE RESET OCCURRED"},
    {0x29, 0x01, "POWER ON OCCURRED"},
    {0x29, 0x02, "SCSI BUS RESET OCCURRED"},
    {0x29, 0x03, "BUS DEVICE RESET FUNCTION OCCURRED"},
    {0x2A, 0x00, "PARAMETERS CHANGED"},
    {0x2C, 0x00, "COMMAND SEQUENCE ERROR"},
    {0x3A, 0x00, "MEDIUM NOT PRESENT"},
    {0x3A, 0x01, "MEDIUM NOT PRESENT - TRAY CLOSED"},
    {0x3A, 0x02, "MEDIUM NOT PRESENT - TRAY OPEN"},
    {0x3E, 0x00, "LOGICAL UNIT HAS NOT SELF-CONFIGURED YET"},
    {0x3F, 0x01, "MICROCODE HAS BEEN CHANGED"},
    {0x44, 0x00, "INTERNAL TARGET FAILURE"},
    {0x47, 0x00, "SCSI PARITY ERROR"},
    {0x4E, 0x00, "OVERLAPPED COMMANDS ATTEMPTED"},
    {0x53, 0x02, "MEDIUM REMOVAL PREVENTED"},
    {0x5A, 0x01, "OPERATOR MEDIUM REMOVAL REQUEST"},
};

constexpr std::array<std::string_view, 16> kKeys = {
    "NO SENSE",       "RECOVERED ERROR", "NOT READY",      "MEDIUM ERROR",
    "HARDWARE ERROR", "ILLEGAL REQUEST", "UNIT ATTENTION", "DATA PROTECT",
    "BLANK CHECK",    "VENDOR SPECIFIC", "COPY ABORTED",   "ABORTED COMMAND",
    "EQUAL",          "VOLUME OVERFLOW", "MISCOMPARE",     "COMPLETED",
};

} // namespace

std::string_view senseKeyName(uint8_t key) {
    return kKeys[key & 0x0F];
}

std::string_view additionalSenseName(uint8_t asc, uint8_t ascq) {
    for (const AdditionalSense& entry : kAdditionalSense) {
        if (entry.asc == asc && entry.ascq == ascq) {
            return entry.name;
        }
    }
    return {};
}

std::string describeSense(uint8_t key, uint8_t asc, uint8_t ascq) {
    char codes[16];
    std::snprintf(codes, sizeof codes, "%X/%02X/%02X ", static_cast<unsigned>(key & 0x0F),
                  static_cast<unsigned>(asc), static_cast<unsigned>(ascq));
    std::string text(codes);
    text += senseKeyName(key);
    if (const std::string_view name = additionalSenseName(asc, ascq); !name.empty()) {
        text += ", ";
        text += name;
    }
    return text;
}

std::string describeOutcome(const CommandResult& result) {
    char text[64];
    switch (result.outcome) {
    case CommandOutcome::NotSent:
        switch (result.refusal) {
        case Refusal::NoDrive:
            return "not sent: no drive is open";
        case Refusal::NoEntryPoints:
            return "not sent: the ASPI manager gave no entry points";
        case Refusal::NoBuffer:
            return "not sent: no buffer for its data";
        case Refusal::LengthAboveCapacity:
            return "not sent: longer than its buffer";
        case Refusal::InvalidDirection:
            return "not sent: no such data direction";
        case Refusal::RequestAbandoned:
            return "not sent: an earlier request was never retired";
        case Refusal::None:
            break;
        }
        return "not sent";
    case CommandOutcome::Good:
        return "good";
    case CommandOutcome::CheckCondition:
        if (result.senseKey == 0 && result.senseAsc == 0 && result.senseAscq == 0) {
            return "check condition without sense data";
        }
        return "check condition, sense " +
               describeSense(result.senseKey, result.senseAsc, result.senseAscq);
    case CommandOutcome::OtherStatus: {
        const uint8_t status = result.status;
        const char* name = status == 0x08   ? " BUSY"
                           : status == 0x18 ? " RESERVATION CONFLICT"
                           : status == 0x28 ? " TASK SET FULL"
                           : status == 0x40 ? " TASK ABORTED"
                                            : "";
        std::snprintf(text, sizeof text, "status %02Xh%s", static_cast<unsigned>(status), name);
        return text;
    }
    case CommandOutcome::NoAnswer:
        return "no answer, the request failed below the drive";
    case CommandOutcome::OsRefused:
        std::snprintf(text, sizeof text, "refused by the system (error %u)",
                      static_cast<unsigned>(result.osError));
        return text;
    case CommandOutcome::TimedOut:
        std::snprintf(text, sizeof text, "timed out after %.1f s", result.elapsedSeconds);
        return text;
    }
    return "unknown outcome";
}

} // namespace zelfin
