#include "Invariants.h"

#include <sstream>

namespace zelfin::campaign {
namespace {

constexpr uint32_t kPiece = 4096;

uint32_t bytes(const sim::TranscriptRecord& r, std::size_t from, std::size_t count) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        value = (value << 8) | r.cdb[from + i];
    }
    return value;
}

bool isCommit(const sim::TranscriptRecord& r) {
    return r.cdb[0] == 0x3B && (r.cdb[9] == 0x80 || r.cdb[9] == 0xA0);
}
bool isPieceWrite(const sim::TranscriptRecord& r) {
    return r.cdb[0] == 0x3B && r.cdb[9] == 0x00 && bytes(r, 6, 3) == kPiece;
}
bool isPieceRead(const sim::TranscriptRecord& r) {
    return r.cdb[0] == 0x3C;
}
bool isDownloadPiece(const sim::TranscriptRecord& r) {
    return r.cdb[0] == 0xF2 && r.cdb[1] == 3;
}
bool isDownloadEnd(const sim::TranscriptRecord& r) {
    return r.cdb[0] == 0xF2 && r.cdb[1] == 4;
}
bool good(const sim::TranscriptRecord& r) {
    return r.outcome == sim::Outcome::Good;
}

bool isFinish(Job job, const sim::TranscriptRecord& r) {
    return job == Job::WriteBuffer ? isCommit(r) : isDownloadEnd(r);
}

// Whether the target's commands right before `end` (an index into `target`, which holds log
// indices) are one whole pass that verified every piece in order.
bool verifiedPassBefore(Job job, const std::vector<Command>& log,
                        const std::vector<std::size_t>& target, std::size_t end,
                        std::optional<std::size_t> corruptedAt) {
    const uint32_t pieces = job == Job::WriteBuffer ? 256 : 32;
    const std::size_t per = job == Job::WriteBuffer ? 2 : 1;
    if (end < pieces * per) {
        return false;
    }
    std::size_t k = end - pieces * per;
    for (uint32_t p = 0; p < pieces; ++p) {
        if (job == Job::Download) {
            const auto& r = log[target[k++]].record;
            if (!isDownloadPiece(r) || !good(r) || bytes(r, 2, 4) != p * kPiece) {
                return false;
            }
            continue;
        }
        const auto& w = log[target[k]].record;
        const std::size_t readAt = target[k + 1];
        const auto& rd = log[readAt].record;
        k += 2;
        if (!isPieceWrite(w) || !good(w) || bytes(w, 3, 3) != p * kPiece || !isPieceRead(rd) ||
            !good(rd) || bytes(rd, 3, 3) != p * kPiece || corruptedAt == readAt) {
            return false;
        }
    }
    return true;
}

} // namespace

std::vector<std::string> brokenInvariants(Job job, const RunResult& run, const Limits& limits,
                                          std::optional<std::size_t> corruptedAt) {
    std::vector<std::string> broken;
    auto say = [&](const std::string& what) { broken.push_back(what); };

    std::vector<std::size_t> target;
    std::optional<std::size_t> lastFinish;
    for (std::size_t i = 0; i < run.log.size(); ++i) {
        const Command& c = run.log[i];
        const auto& r = c.record;
        const bool flashCommand = r.cdb[0] == 0x3B || r.cdb[0] == 0x3C || r.cdb[0] == 0xF2;
        if (c.drive != kTarget) {
            if (flashCommand) {
                std::ostringstream what;
                what << "drive " << c.drive << " got a flash command (opcode " << std::hex
                     << int{r.cdb[0]} << ") at " << std::dec << i;
                say(what.str());
            }
            if (r.cdb[0] == 0xDF && r.cdb[1] == 0x11 && run.clickedAt && i >= *run.clickedAt) {
                say(std::string("drive ") + c.drive + " got DF 11 after the scan at " +
                    std::to_string(i));
            }
            continue;
        }
        if (flashCommand && (!run.clickedAt || i < *run.clickedAt)) {
            say("flash command before Update was clicked at " + std::to_string(i));
        }
        if (isFinish(job, r)) {
            if (!verifiedPassBefore(job, run.log, target, target.size(), corruptedAt)) {
                say("commit without a verified pass right before it, at " + std::to_string(i));
            }
            lastFinish = i;
        }
        target.push_back(i);
    }

    if (run.ending == Ending::Success) {
        if (!lastFinish || !good(run.log[*lastFinish].record)) {
            say("success reported without a commit that succeeded");
        }
        if (job == Job::WriteBuffer && !run.flashHoldsNewImage) {
            say("success reported but the flash does not hold the new image");
        }
    }
    if (run.ending == Ending::Stalled) {
        say("the program did not reach an end (last dialog \"" + run.lastDialog + "\")");
    }
    if (run.virtualSeconds > limits.virtualSeconds) {
        say("ran " + std::to_string(run.virtualSeconds) + " s of simulated time");
    }
    if (run.log.size() > limits.commands) {
        say("sent " + std::to_string(run.log.size()) + " commands");
    }
    if (run.dialogs > limits.dialogs) {
        say("showed " + std::to_string(run.dialogs) + " dialogs");
    }
    return broken;
}

} // namespace zelfin::campaign
