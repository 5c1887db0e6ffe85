#pragma once
// Interval timer on the performance counter. The cost of one start/stop pair is measured once
// and subtracted from every interval; readings are seconds.
#include <cstdint>

namespace zelfin {

class Platform;

class HiTimer {
public:
    explicit HiTimer(Platform& platform);
    ~HiTimer();
    HiTimer(const HiTimer&) = delete;
    HiTimer& operator=(const HiTimer&) = delete;

    void Start(bool reset);
    void Stop();
    void Reset();
    // Seconds since the last Start (0.0 when stopped or unavailable).
    long double Lap();
    // Accumulated seconds, including the running interval up to the latest reading.
    long double Total() const;
    bool IsRunning() const { return start != 0; }

    int64_t frequency = 0;
    int64_t start = 0; // 0: stopped
    int64_t now = 0;
    int64_t accumulated = 0;
    int64_t overhead = 0;
    uint8_t unavailable = 0;

private:
    Platform* platform_;
};

} // namespace zelfin
