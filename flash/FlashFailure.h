#pragma once
// Where a programming job stopped: the step, and for a piece its number and pass, so the user
// reads which command failed rather than only that one did.
#include <cstdint>
#include <string>

namespace zelfin {

enum class FlashStep : uint8_t {
    None,
    Image,         // no whole piece to write, or the buffers cannot hold one; nothing was sent
    WritePiece,    // WRITE BUFFER of a piece
    ReadPiece,     // its READ BUFFER
    ShortRead,     // the READ BUFFER moved fewer bytes than the piece
    Compare,       // the piece read back differs from what was written
    Commit,        // the WRITE BUFFER that commits
    DownloadPiece, // a download piece
    DownloadEnd,   // the command that ends the download and commits
    NoWorker,      // no thread could be started for the job
};

struct FlashFailure {
    FlashStep step = FlashStep::None;
    uint32_t piece = 0; // from 0
    int pass = 0;       // from 1; 0 outside the passes
};

// "piece 5 of pass 2 (WRITE BUFFER)", "commit (WRITE BUFFER)": the step as a user reads it.
std::string describeStep(const FlashFailure& failure);

} // namespace zelfin
