#include "frontends/cli/TraceObserver.h"

#include "device/WinScsiTypes.h"
#include "sim/Transcript.h"

#include <algorithm>
#include <string>

namespace zelfin::cli {
namespace {

// The transcript's word says what became of the request: the drive's status when it gave one
// (late or not), else whether it was aborted, never completed, or lost below the drive.
sim::Outcome TranscriptOutcome(const CommandResult& result) {
    if (result.answered) {
        return result.status == kScsiStatusGood ? sim::Outcome::Good : sim::Outcome::CheckCondition;
    }
    if (result.aborted) {
        return sim::Outcome::Aborted;
    }
    return result.outcome == CommandOutcome::TimedOut ? sim::Outcome::Pending
                                                      : sim::Outcome::TransportFailure;
}

} // namespace

void TraceObserver::CommandEnded(const AtapiDevice&, std::span<const uint8_t, 12> cdb,
                                 uint8_t direction, uint32_t length, const CommandResult& result) {
    if (result.outcome == CommandOutcome::NotSent) {
        return;
    }
    sim::TranscriptRecord record;
    std::copy(cdb.begin(), cdb.end(), record.cdb.begin());
    record.direction = direction;
    record.length = length;
    record.senseKey = result.senseKey;
    record.senseAsc = result.senseAsc;
    record.senseAscq = result.senseAscq;
    record.outcome = TranscriptOutcome(result);
    record.transferred = result.transferred;
    record.seconds = result.elapsedSeconds;
    char line[sim::kTranscriptLineSize];
    const std::size_t size = sim::FormatTranscriptLine(record, line);
    sync::Lock lock(mutex_);
    std::fwrite(line, 1, size, out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

bool TraceObserver::PutBefore(std::string_view header) {
    sync::Lock lock(mutex_);
    // Only what this object wrote is read back: the file position bounds it.
    const long end = std::ftell(out_);
    if (end < 0 || std::fseek(out_, 0, SEEK_SET) != 0) {
        return false;
    }
    std::string lines(static_cast<std::size_t>(end), '\0');
    lines.resize(std::fread(lines.data(), 1, lines.size(), out_));
    if (std::ferror(out_) != 0 || std::fseek(out_, 0, SEEK_SET) != 0) {
        return false;
    }
    const bool written = std::fwrite(header.data(), 1, header.size(), out_) == header.size() &&
                         std::fwrite(lines.data(), 1, lines.size(), out_) == lines.size();
    return std::fflush(out_) == 0 && written;
}

} // namespace zelfin::cli
