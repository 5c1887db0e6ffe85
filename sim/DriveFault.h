#pragma once
// One behaviour of a simulated drive that departs from a plain, healthy drive, in the words of a
// scenario `fault` line (sim/TRANSCRIPT.md lists them). Scenario files, the fault campaign and the
// fuzzers all describe faults this way: Parse reads a line, Format writes it back, Apply gives it
// to a drive.
#include "sim/SimDrive.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zelfin::sim {

struct DriveFault {
    enum class Kind : uint8_t {
        // Around the restart after a commit or download end.
        GoneAfterCommit,     // gone-after-commit
        NotReadyAfterCommit, // not-ready-after-commit SECONDS
        SilentAfterCommit,   // silent-after-commit SECONDS
        BackgroundCommit,    // background-commit SECONDS
        Attention,           // attention ASC/ASCQ
        DescriptorSense,     // descriptor-sense
        // The flash memory (PIECE: buffer offset / 4096; PASS from 1, every pass when absent).
        DropWrite,  // drop-write PIECE
        ShortRead,  // short-read PIECE
        Residual,   // residual PIECE
        ReadBack,   // readback [PIECE [PASS]] (piece 100 when absent)
        WriteFails, // write-fails PIECE [PASS]
        ReadFails,  // read-fails PIECE [PASS]
        Commit,     // commit
        PowerLoss,  // power-loss [SECTOR] (sector 3 when absent)
        // The N-th command with opcode OP (N from 1, counted from the drive's start; `every`).
        Sense,     // sense OP N KEY/ASC/ASCQ
        NoSense,   // no-sense OP N
        Transport, // transport OP N
        Hang,      // hang OP N
        Vanish,    // vanish OP N
        Slow,      // slow OP N SECONDS
        ZeroData,  // zero-data OP N
    };

    char letter = 'D';
    Kind kind = Kind::Commit;
    double seconds = 0.0;           // *-after-commit, background-commit, slow
    Sense sense{};                  // sense; attention (key 06)
    uint8_t opcode = 0;             // per-command kinds
    uint32_t occurrence = 0;        // per-command kinds; 0: every one
    std::optional<uint32_t> piece;  // flash kinds: as written
    std::optional<uint32_t> pass;   // as written; absent: every pass
    std::optional<uint32_t> sector; // power-loss, as written

    // The words of a `fault` line, "fault" first. Throws std::invalid_argument naming the line
    // and what is wrong with it.
    static DriveFault Parse(std::span<const std::string> words);
    static DriveFault Parse(std::string_view line); // split at blanks; `#` starts a comment
    // The line text, "fault" first, with no line end; Parse reads it back to the same value.
    std::string Format() const;
    // Gives the behaviour to `drive`, and to its flash memory for the flash kinds (then a drive
    // without one is an error). Throws std::invalid_argument when it cannot.
    void Apply(SimDrive& drive) const;
    // Whether Apply needs the drive's SimFlash.
    bool NeedsFlash() const;

    friend bool operator==(const DriveFault&, const DriveFault&) = default;
};

} // namespace zelfin::sim
