#pragma once
// The time the drives get to answer again after a run, on the performance counter or, on a
// machine without one, as the sum of the waits and command time-outs spent.
#include "device/HiTimer.h"

#include <cstdint>

namespace zelfin::app {

class RunEndClock {
public:
    RunEndClock(HiTimer& watch, double limitSeconds) : watch_(watch), limit_(limitSeconds) {
        watch_.Start(true);
    }
    ~RunEndClock() { watch_.Stop(); }
    RunEndClock(const RunEndClock&) = delete;
    RunEndClock& operator=(const RunEndClock&) = delete;

    // Only counted on a machine without a counter, where the watch reads 0.
    void spent(double seconds) { counted_ += seconds; }
    double left() {
        const double passed =
            watch_.unavailable != 0 ? counted_ : static_cast<double>(watch_.Lap());
        return limit_ - passed;
    }

private:
    HiTimer& watch_;
    double limit_;
    double counted_ = 0.0;
};

} // namespace zelfin::app
