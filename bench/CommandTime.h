#pragma once
// Adds up the time each command took as its device object timed it: on the machine's real
// clock, the time spent inside the (simulated) machine's transport.
#include "device/CommandObserver.h"

#include <atomic>
#include <cmath>
#include <cstdint>

namespace zelfin::bench {

class CommandTime final : public CommandObserver {
public:
    void CommandEnded(const AtapiDevice&, std::span<const uint8_t, 12>, uint8_t, uint32_t,
                      const CommandResult& result) override {
        nanoseconds_.fetch_add(std::llround(result.elapsedSeconds * 1e9));
    }
    double Seconds() const { return static_cast<double>(nanoseconds_.load()) / 1e9; }

private:
    std::atomic<int64_t> nanoseconds_{0};
};

} // namespace zelfin::bench
