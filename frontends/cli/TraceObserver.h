#pragma once
// The --trace file: one line for every command sent to a drive, in the simulator's transcript
// format (sim/TRANSCRIPT.md), so a real drive and a simulated one are traced alike. A command
// refused before it was sent has no line.
#include "device/CommandObserver.h"

#include "sync/Sync.h"

#include <cstdio>
#include <string_view>

namespace zelfin::cli {

class TraceObserver final : public CommandObserver {
public:
    // `out` must stay open for the life of the object; each line is flushed as written, so a
    // program that ends abruptly leaves every command it sent. Open it for update ("w+") when
    // a header is to be put before the lines.
    explicit TraceObserver(std::FILE* out) : out_(out) {}

    // Rewrites the file as `header`, then the lines written so far. False when the file could
    // not be read back or written; the lines then stay as they were, where they can.
    bool PutBefore(std::string_view header);

    void CommandEnded(const AtapiDevice& device, std::span<const uint8_t, 12> cdb,
                      uint8_t direction, uint32_t length, const CommandResult& result) override;

private:
    std::FILE* out_;
    sync::Mutex mutex_; // one line at a time from the jobs' threads
};

} // namespace zelfin::cli
