#pragma once
// How one command ended, judged once where it was sent (ExecuteCommand), in the same words on
// both transports.
#include <cstdint>

namespace zelfin {

// Why ExecuteCommand refused a command without sending it.
enum class Refusal : uint8_t {
    None,                // the last command reached the transport
    NoDrive,             // no open handle (pass-through) or no selected address (ASPI)
    NoEntryPoints,       // ASPI transport without a loaded SendASPI32Command
    NoBuffer,            // a data phase with no buffer allocated
    LengthAboveCapacity, // of the buffer, or of the CDB's length field
    InvalidDirection,
    RequestAbandoned, // an earlier ASPI request could not be retired; the object is unusable
};

enum class CommandOutcome : uint8_t {
    NotSent,        // refused before the transport: `refusal` says why
    Good,           // status GOOD within the time-out, no sense
    CheckCondition, // CHECK CONDITION (sense fields 0 when the drive gave none)
    OtherStatus,    // another status: BUSY, RESERVATION CONFLICT, ... (`status`)
    NoAnswer,       // lost below the drive: no status came back, or the drive is gone
    OsRefused,      // the system would not pass the request on (`osError`)
    TimedOut,       // no answer within the time-out (a late one is still in `status`)
};

struct CommandResult {
    CommandOutcome outcome = CommandOutcome::NotSent;
    Refusal refusal = Refusal::None;
    // The drive gave a status, `status`, in time or late.
    bool answered = false;
    uint8_t status = 0;
    // An ASPI abort retired the request after its time-out (it never completed).
    bool aborted = false;
    uint8_t senseKey = 0; // the key alone, whatever the format of the sense data
    uint8_t senseAsc = 0;
    uint8_t senseAscq = 0;
    uint32_t transferred = 0; // data bytes the transport says moved, up to the length asked for
    // Pass-through: the I/O control's error when it failed. ASPI: the request's final status
    // when it did not complete.
    uint32_t osError = 0;
    double elapsedSeconds = 0.0;
};

} // namespace zelfin
