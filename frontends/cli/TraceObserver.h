#pragma once
// The --trace file: one line for every command sent to a drive, in the simulator's transcript
// format (sim/TRANSCRIPT.md), so a real drive and a simulated one are traced alike. A command
// refused before it was sent has no line.
#include "device/CommandObserver.h"

#include "sync/Sync.h"
#include <cstdio>

namespace zelfin::cli {

class TraceObserver final : public CommandObserver {
public:
    // `out` must stay open for the life of the object; each line is flushed as written.
    explicit TraceObserver(std::FILE* out) : out_(out) {}

    void CommandEnded(const AtapiDevice& device, std::span<const uint8_t, 12> cdb,
                      uint8_t direction, uint32_t length, const CommandResult& result) override;

private:
    std::FILE* out_;
    sync::Mutex mutex_; // one line at a time from the jobs' threads
};

} // namespace zelfin::cli
