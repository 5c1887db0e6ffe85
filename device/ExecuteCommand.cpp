#include "device/AtapiDevice.h"

#include <algorithm>
#include <cstring>

namespace zelfin {

namespace {

// The 32-bit form of a pointer as the request blocks store it (exact on the 32-bit target; a
// 64-bit platform reads the real pointer passed beside the block).
uint32_t StoredPointer(const void* pointer) {
    return static_cast<uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

// The ASPI manager completes requests behind our back: always read the status afresh.
uint8_t ReadStatus(const SrbExecScsiCmd& srb) {
    return *static_cast<const volatile uint8_t*>(&srb.SRB_Status);
}

uint32_t WaitMilliseconds(uint64_t seconds) {
    return static_cast<uint32_t>(std::min<uint64_t>(seconds * 1000u, kInfinite - 1u));
}

// Sense data comes in fixed format (response codes 70h/71h) or, from drives that prefer it, in
// descriptor format (72h/73h), where key, code and qualifier sit at other bytes.
template <std::size_t N> void ReadSense(const uint8_t (&sense)[N], CommandResult& result) {
    static_assert(N >= 14, "fixed-format sense reaches its qualifier at byte 13");
    const uint8_t code = sense[0] & 0x7F;
    const bool descriptor = code == 0x72 || code == 0x73;
    result.senseKey = (descriptor ? sense[1] : sense[2]) & 0x0F;
    result.senseAsc = descriptor ? sense[2] : sense[12];
    result.senseAscq = descriptor ? sense[3] : sense[13];
}

// How long a request may take to give way after its abort.
constexpr uint32_t kAbortGraceMilliseconds = 1000;

// I/O control errors with which the system turns a request away before it reaches the drive.
bool RefusedBySystem(uint32_t error) {
    switch (error) {
    case kErrorInvalidFunction:
    case kErrorAccessDenied:
    case kErrorInvalidHandle:
    case kErrorNotSupported:
    case kErrorInvalidParameter:
        return true;
    default:
        return false;
    }
}

// ASPI request statuses with which the manager turns a request away: a command it does not
// know, a block it cannot take, a manager not fit to run it.
bool RefusedByManager(uint8_t status) {
    return status == kSsInvalidCmd || status >= kSsInvalidSrb;
}

// The one judgement of a command that reached the transport. A drive's sense without a CHECK
// CONDITION status still reports a condition: it is not a good answer.
CommandOutcome Judge(const CommandResult& result, bool refusedBelow, bool late) {
    if (refusedBelow) {
        return CommandOutcome::OsRefused;
    }
    if (late) {
        return CommandOutcome::TimedOut;
    }
    if (!result.answered) {
        return CommandOutcome::NoAnswer;
    }
    if (result.status == kScsiStatusGood) {
        return result.senseKey == 0 ? CommandOutcome::Good : CommandOutcome::CheckCondition;
    }
    return result.status == kScsiStatusCheckCondition ? CommandOutcome::CheckCondition
                                                      : CommandOutcome::OtherStatus;
}

} // namespace

bool AtapiDevice::Refuse(const uint8_t cdb[12], uint8_t direction, uint32_t length,
                         Refusal reason) {
    lastResult_ = CommandResult{};
    lastResult_.refusal = reason;
    return Finish(cdb, direction, length);
}

bool AtapiDevice::Finish(const uint8_t cdb[12], uint8_t direction, uint32_t length) {
    const CommandResult& result = lastResult_;
    const bool good = result.outcome == CommandOutcome::Good;
    if (result.outcome != CommandOutcome::NotSent) {
        const bool drivesStatus = result.outcome == CommandOutcome::CheckCondition ||
                                  result.outcome == CommandOutcome::OtherStatus;
        resultCode = good ? 1 : (drivesStatus && result.senseKey != 0) ? 2 : 0;
        senseKey = result.senseKey;
        senseAsc = result.senseAsc;
        senseAscq = result.senseAscq;
        elapsedSeconds = result.elapsedSeconds;
        transferred = good ? result.transferred : 0;
        timedOut = result.outcome == CommandOutcome::TimedOut ? 1 : 0;
        std::memcpy(lastCdb, cdb, sizeof(lastCdb));
    }
    if (observer_ != nullptr) {
        observer_->CommandEnded(*this, std::span<const uint8_t, 12>(cdb, 12), direction, length,
                                result);
    }
    return good;
}

void AtapiDevice::ClearReadBuffer(uint32_t bytes) {
    if (readBuffer != nullptr) {
        std::memset(readBuffer, 0, std::min(readCapacity, bytes));
    }
}

uint8_t* AtapiDevice::BufferFor(uint8_t direction, uint32_t length) const {
    if (length == 0 || direction == kDirectionNone) {
        return nullptr;
    }
    return direction == kDirectionOut ? writeBuffer : readBuffer;
}

bool AtapiDevice::ExecuteCommand(const uint8_t cdb[12], uint8_t direction, uint32_t length) {
    const auto refuse = [&](Refusal reason) { return Refuse(cdb, direction, length, reason); };
    if (aspiAbandoned_) {
        return refuse(Refusal::RequestAbandoned);
    }
    if (direction > kDirectionNone) {
        return refuse(Refusal::InvalidDirection);
    }
    const bool aspi = !platform.isNtFamily || useAspi_;
    if (aspi) {
        if (adapter_ == -1 || target_ == -1) {
            return refuse(Refusal::NoDrive);
        }
        if (sendCommand_ == 0) {
            return refuse(Refusal::NoEntryPoints);
        }
    } else if (driveHandle_ == kInvalidHandle) {
        return refuse(Refusal::NoDrive);
    }
    if (length != 0 && direction != kDirectionNone) {
        const uint32_t capacity = direction == kDirectionOut ? writeCapacity : readCapacity;
        if (BufferFor(direction, length) == nullptr) {
            return refuse(Refusal::NoBuffer);
        }
        if (length > capacity) {
            return refuse(Refusal::LengthAboveCapacity);
        }
    }
    lastResult_ = CommandResult{};
    if (aspi) {
        ExecuteAspi(cdb, direction, length);
    } else {
        ExecutePassThrough(cdb, direction, length);
    }
    return Finish(cdb, direction, length);
}

void AtapiDevice::JudgeLastResult(bool refusedBelow, bool waitRanOut) {
    CommandResult& result = lastResult_;
    result.elapsedSeconds = static_cast<double>(commandWatch.Total());
    // A request that had not completed when the wait ended timed out, whatever the clock says.
    const bool late = waitRanOut || static_cast<double>(timeoutSeconds) < result.elapsedSeconds;
    result.outcome = Judge(result, refusedBelow, late);
}

void AtapiDevice::ExecutePassThrough(const uint8_t cdb[12], uint8_t direction, uint32_t length) {
    uint8_t* buffer = BufferFor(direction, length);
    std::memset(&passThrough_, 0, sizeof(passThrough_));
    ScsiPassThroughDirect& request = passThrough_.sptd;
    request.Length = sizeof(ScsiPassThroughDirect);
    request.ScsiStatus = 0;
    request.PathId = static_cast<uint8_t>(adapter_);
    request.TargetId = static_cast<uint8_t>(target_);
    request.Lun = 0;
    request.CdbLength = 12;
    request.SenseInfoLength = sizeof(passThrough_.sense);
    request.DataIn = direction;
    request.DataTransferLength = length;
    request.TimeOutValue = timeoutSeconds;
    request.DataBuffer = StoredPointer(buffer);
    request.SenseInfoOffset = kPassThroughSenseOffset;
    std::memcpy(request.Cdb, cdb, 12);

    commandWatch.Start(true);
    uint32_t error = kErrorSuccess;
    const bool ioctlOk = os_->ScsiPassThroughDirect(driveHandle_, passThrough_, buffer, error);
    commandWatch.Stop();

    // A request the I/O control carried came back with the drive's status.
    CommandResult& result = lastResult_;
    result.answered = ioctlOk;
    result.status = ioctlOk ? request.ScsiStatus : kScsiStatusGood;
    result.transferred =
        ioctlOk ? std::min(request.DataTransferLength, buffer != nullptr ? length : 0u) : 0;
    result.osError = ioctlOk ? kErrorSuccess : error;
    ReadSense(passThrough_.sense, result);
    JudgeLastResult(!ioctlOk && RefusedBySystem(error), false);
}

void AtapiDevice::ExecuteAspi(const uint8_t cdb[12], uint8_t direction, uint32_t length) {
    uint8_t* buffer = BufferFor(direction, length);
    std::memset(&srb_, 0, sizeof(srb_));
    srb_.SRB_Cmd = kScExecScsiCmd;
    srb_.SRB_HaId = static_cast<uint8_t>(adapter_);
    srb_.SRB_Flags = direction == kDirectionIn    ? kSrbDirIn
                     : direction == kDirectionOut ? kSrbDirOut
                                                  : 0;
    srb_.SRB_Target = static_cast<uint8_t>(target_);
    srb_.SRB_Lun = static_cast<uint8_t>(lun_);
    srb_.SRB_BufLen = length;
    srb_.SRB_BufPointer = StoredPointer(buffer);
    srb_.SRB_SenseLen = kSenseLen;
    srb_.SRB_CDBLen = 12;
    std::memcpy(srb_.CDBByte, cdb, 12);

    commandWatch.Start(true);
    const OsHandle event = os_->CreateEvent();
    AspiRequestRefs refs{buffer, event, nullptr};
    bool waitRanOut = false;
    if (event != kNullHandle) {
        srb_.SRB_Flags |= kSrbEventNotify;
        srb_.SRB_PostProc = static_cast<uint32_t>(event);
        os_->CallSendASPI32Command(sendCommand_, &srb_, refs);
        if (ReadStatus(srb_) == kSsPending) {
            os_->WaitForSingleObject(event, WaitMilliseconds(timeoutSeconds));
        }
    } else {
        os_->CallSendASPI32Command(sendCommand_, &srb_, refs);
        // Polling is bounded by the time-out, through the clock (or counted sleeps without one).
        uint64_t sleptMs = 0;
        const uint64_t limitMs = uint64_t{timeoutSeconds} * 1000u;
        while (ReadStatus(srb_) == kSsPending) {
            if (!commandWatch.unavailable) {
                if (commandWatch.Lap() > static_cast<long double>(timeoutSeconds)) {
                    break;
                }
            } else {
                if (sleptMs >= limitMs) {
                    break;
                }
                os_->Sleep(1);
                ++sleptMs;
            }
        }
    }
    if (ReadStatus(srb_) == kSsPending) {
        waitRanOut = true;
        if (!RetireAspiRequest(event)) {
            aspiAbandoned_ = 1;
        }
    }
    // An abandoned request may still signal its event: leave the handle to the manager.
    if (event != kNullHandle && !aspiAbandoned_) {
        os_->CloseHandle(event);
    }
    commandWatch.Stop();

    // A request completes with the drive's status: GOOD, or in an error the target's status.
    // An error with none (a host adapter's, a lost drive) is no answer.
    const uint8_t status = ReadStatus(srb_);
    CommandResult& result = lastResult_;
    result.answered =
        status == kSsComp || (status == kSsErr && srb_.SRB_TargStat != kScsiStatusGood);
    result.status = result.answered && status == kSsErr ? srb_.SRB_TargStat : kScsiStatusGood;
    result.aborted = status == kSsAborted;
    result.transferred = status == kSsComp ? length : 0;
    result.osError = status == kSsComp ? kErrorSuccess : status;
    ReadSense(srb_.SenseArea, result);
    JudgeLastResult(RefusedByManager(status), waitRanOut);
}

bool AtapiDevice::RetireAspiRequest(OsHandle event) {
    SrbAbort abort{};
    abort.SRB_Cmd = kScAbortSrb;
    abort.SRB_HaId = srb_.SRB_HaId;
    abort.SRB_ToAbort = StoredPointer(&srb_);
    os_->CallSendASPI32Command(sendCommand_, &abort, AspiRequestRefs{nullptr, 0, &srb_});
    if (ReadStatus(srb_) != kSsPending) {
        return true;
    }
    // The manager may finish the abort asynchronously: give it a short grace period.
    if (event != kNullHandle) {
        os_->WaitForSingleObject(event, kAbortGraceMilliseconds);
    } else {
        for (uint32_t waited = 0;
             waited < kAbortGraceMilliseconds && ReadStatus(srb_) == kSsPending; ++waited) {
            os_->Sleep(1);
        }
    }
    return ReadStatus(srb_) != kSsPending;
}

} // namespace zelfin
