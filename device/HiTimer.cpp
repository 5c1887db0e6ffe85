#include "device/HiTimer.h"

#include "device/Platform.h"

namespace zelfin {

HiTimer::HiTimer(Platform& platform) : platform_(&platform) {
    int64_t counts = 0;
    if (!platform_->QueryPerformanceFrequency(counts) || counts <= 0) {
        unavailable = 1;
        return;
    }
    frequency = counts;
    // One empty start/stop interval is the cost every later interval carries.
    start = platform_->QueryPerformanceCounter();
    Stop();
    overhead = accumulated;
    start = 0;
    now = 0;
    accumulated = 0;
}

HiTimer::~HiTimer() {
    if (!unavailable && IsRunning()) {
        Stop();
    }
}

void HiTimer::Start(bool reset) {
    if (unavailable) {
        return;
    }
    if (reset) {
        Reset();
    }
    start = platform_->QueryPerformanceCounter();
}

void HiTimer::Stop() {
    // A stopped watch has no interval to add.
    if (unavailable || !IsRunning()) {
        return;
    }
    now = platform_->QueryPerformanceCounter();
    accumulated += now - start - overhead;
    start = 0;
}

void HiTimer::Reset() {
    if (IsRunning()) {
        Stop();
    }
    accumulated = 0;
}

long double HiTimer::Lap() {
    if (unavailable || !IsRunning()) {
        return 0.0L;
    }
    now = platform_->QueryPerformanceCounter();
    return static_cast<long double>(now - start - overhead) / static_cast<long double>(frequency);
}

long double HiTimer::Total() const {
    if (unavailable) {
        return 0.0L;
    }
    int64_t ticks = accumulated;
    if (IsRunning()) {
        ticks += now - start - overhead;
    }
    return static_cast<long double>(ticks) / static_cast<long double>(frequency);
}

} // namespace zelfin
