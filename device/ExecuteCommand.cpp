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
struct SenseFields {
    uint8_t key, asc, ascq;
};
template <std::size_t N> SenseFields ReadSense(const uint8_t (&sense)[N]) {
    static_assert(N >= 14, "fixed-format sense reaches its qualifier at byte 13");
    const uint8_t code = sense[0] & 0x7F;
    if (code == 0x72 || code == 0x73) {
        return {static_cast<uint8_t>(sense[1] & 0x0F), sense[2], sense[3]};
    }
    return {static_cast<uint8_t>(sense[2] & 0x0F), sense[12], sense[13]};
}

// How long a request may take to give way after its abort.
constexpr uint32_t kAbortGraceMilliseconds = 1000;

} // namespace

bool AtapiDevice::Refuse(Refusal reason) {
    lastRefusal = reason;
    return false;
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
    if (aspiAbandoned_) {
        return Refuse(Refusal::RequestAbandoned);
    }
    if (direction > kDirectionNone) {
        return Refuse(Refusal::InvalidDirection);
    }
    const bool aspi = !platform.isNtFamily || useAspi_;
    if (aspi) {
        if (adapter_ == -1 || target_ == -1) {
            return Refuse(Refusal::NoDrive);
        }
        if (sendCommand_ == 0) {
            return Refuse(Refusal::NoEntryPoints);
        }
    } else if (driveHandle_ == kInvalidHandle) {
        return Refuse(Refusal::NoDrive);
    }
    if (length != 0 && direction != kDirectionNone) {
        const uint32_t capacity = direction == kDirectionOut ? writeCapacity : readCapacity;
        if (BufferFor(direction, length) == nullptr) {
            return Refuse(Refusal::NoBuffer);
        }
        if (length > capacity) {
            return Refuse(Refusal::LengthAboveCapacity);
        }
    }
    lastRefusal = Refusal::None;
    return aspi ? ExecuteAspi(cdb, direction, length) : ExecutePassThrough(cdb, direction, length);
}

void AtapiDevice::FinishTiming(const uint8_t cdb[12]) {
    std::memcpy(lastCdb, cdb, sizeof(lastCdb));
    elapsedSeconds = static_cast<double>(commandWatch.Total());
    timedOut = static_cast<double>(timeoutSeconds) < elapsedSeconds ? 1 : 0;
}

bool AtapiDevice::ExecutePassThrough(const uint8_t cdb[12], uint8_t direction, uint32_t length) {
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
    const bool ioctlOk = os_->ScsiPassThroughDirect(driveHandle_, passThrough_, buffer);
    commandWatch.Stop();
    FinishTiming(cdb);

    transferred = std::min(request.DataTransferLength, buffer != nullptr ? length : 0u);
    const SenseFields sense = ReadSense(passThrough_.sense);
    senseKey = sense.key;
    senseAsc = sense.asc;
    senseAscq = sense.ascq;

    // CHECK CONDITION (or any status but GOOD) fails even when no sense key came back.
    const bool statusGood = request.ScsiStatus == kScsiStatusGood;
    if (ioctlOk && senseKey == 0 && !timedOut && statusGood) {
        resultCode = 1;
        return true;
    }
    transferred = 0;
    // 2 means the drive answered with sense; a bad status without a sense key reads as under
    // ASPI, where such a request does not complete either.
    resultCode = (ioctlOk && !timedOut && senseKey != 0) ? 2 : 0;
    return false;
}

bool AtapiDevice::ExecuteAspi(const uint8_t cdb[12], uint8_t direction, uint32_t length) {
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
    FinishTiming(cdb);
    if (waitRanOut) {
        timedOut = 1; // it did not complete within the time-out, whatever the clock says
    }

    const SenseFields sense = ReadSense(srb_.SenseArea);
    senseKey = sense.key;
    senseAsc = sense.asc;
    senseAscq = sense.ascq;
    if (ReadStatus(srb_) == kSsComp && senseKey == 0 && !timedOut) {
        transferred = length;
        resultCode = 1;
        return true;
    }
    transferred = 0;
    resultCode = (senseKey != 0 && !timedOut) ? 2 : 0;
    return false;
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
