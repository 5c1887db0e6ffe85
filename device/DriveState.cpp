#include "device/AtapiDevice.h"

namespace zelfin {

void AtapiDevice::ClearUnitAttention() {
    // Bounded: a drive that reports unit attention forever must not hold the scan.
    for (int attempt = 0; attempt < kUnitAttentionAttempts; ++attempt) {
        if (TestUnitReady() || LastCommandRefused() || !SenseKeyIs(kSenseUnitAttention)) {
            return;
        }
    }
}

bool AtapiDevice::WaitReady(int32_t limitSeconds) {
    const bool limited = limitSeconds > 0;
    if (limited) {
        generalWatch.Start(true);
    }
    // Without a performance counter the watch reads 0: count the sleeps instead.
    uint64_t sleptMs = 0;
    const uint64_t limitMs = limited ? uint64_t(limitSeconds) * 1000u : 0;
    bool ranOut = false;
    for (;;) {
        TestUnitReady();
        // A refused command says nothing about the drive: its sense is stale.
        const bool stillComing =
            !LastCommandRefused() &&
            (SenseIs(kSenseNotReady, kAscBecomingReady) || SenseKeyIs(kSenseUnitAttention));
        if (!stillComing) {
            break;
        }
        const bool withinLimit =
            !limited || (generalWatch.unavailable
                             ? sleptMs < limitMs
                             : generalWatch.Lap() < static_cast<long double>(limitSeconds));
        if (!withinLimit) {
            ranOut = true;
            break;
        }
        os_->Sleep(kReadyPollMilliseconds);
        sleptMs += kReadyPollMilliseconds;
    }
    TestUnitReady();
    if (limited) {
        generalWatch.Stop();
    }
    return !ranOut;
}

bool AtapiDevice::IsDiscAbsent() {
    WaitReady(30);
    return !LastCommandRefused() && SenseIs(kSenseNotReady, kAscMediumNotPresent);
}

bool AtapiDevice::IsTrayOpen() {
    ClearReadBuffer(kTrayStatusLength);
    return GetEventStatus(1, kMediaClassRequest, kTrayStatusLength, 0) &&
           (readBuffer[5] & 0x01) != 0;
}

bool AtapiDevice::LoadTray() {
    return StartStopUnit(0, 0, 1, 1);
}
bool AtapiDevice::EjectTray() {
    return StartStopUnit(0, 0, 1, 0);
}
bool AtapiDevice::StopDisc() {
    return StartStopUnit(0, 0, 0, 0);
}

} // namespace zelfin
