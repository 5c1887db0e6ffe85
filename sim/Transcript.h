#pragma once
// One line per command a simulated drive received (format in sim/TRANSCRIPT.md). The formatting
// is kept free of the simulator so a front end's trace of real drives writes the same lines.
// Its outcome is what became of the request at the drive; the device layer's CommandOutcome is
// the host's judgement of it (a late answer, a refusal by the system), so the two stay apart.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelfin::sim {

enum class Outcome : uint8_t {
    Good,             // status GOOD
    CheckCondition,   // status CHECK CONDITION, sense valid
    TransportFailure, // the request never reached the drive or the drive vanished
    Pending,          // the request had not completed when it was recorded
    Aborted,          // an ASPI abort retired it
};

struct TranscriptRecord {
    std::array<uint8_t, 12> cdb{};
    uint8_t direction = 2; // 0 out, 1 in, 2 none
    uint32_t length = 0;   // transfer length the host asked for
    uint8_t senseKey = 0;
    uint8_t senseAsc = 0;
    uint8_t senseAscq = 0;
    Outcome outcome = Outcome::Good;
    uint32_t transferred = 0;
    double seconds = 0.0; // time the drive took
};

// Room for a line and its NUL.
inline constexpr std::size_t kTranscriptLineSize = 160;

// "12 00 00 00 60 00 00 00 00 00 00 00 | in 96 | sense 00/00/00 | good | xfer 96 | 0.010000 s"
std::string FormatTranscriptLine(const TranscriptRecord& record);
// The same line into `line`, without allocating; returns its length.
std::size_t FormatTranscriptLine(const TranscriptRecord& record, char (&line)[kTranscriptLineSize]);
// The inverse, for tests and tools that read transcripts; nullopt for a malformed line.
std::optional<TranscriptRecord> ParseTranscriptLine(std::string_view line);

const char* DirectionName(uint8_t direction);
const char* OutcomeName(Outcome outcome);

} // namespace zelfin::sim
