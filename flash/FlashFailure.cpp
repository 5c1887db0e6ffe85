#include "flash/FlashFailure.h"

#include "flash/Programming.h"

#include <cstdio>

namespace zelfin {

std::string describeStep(const FlashFailure& failure) {
    // The offset makes the piece's count from 0 plain.
    char piece[64];
    std::snprintf(piece, sizeof piece, "piece %u (offset 0x%X) of pass %d",
                  static_cast<unsigned>(failure.piece),
                  static_cast<unsigned>(failure.piece * kPieceBytes), failure.pass);
    switch (failure.step) {
    case FlashStep::None:
        return "no step failed";
    case FlashStep::Image:
        return "the bank (no whole piece to write; nothing was sent)";
    case FlashStep::WritePiece:
        return std::string(piece) + ", WRITE BUFFER";
    case FlashStep::ReadPiece:
        return std::string(piece) + ", READ BUFFER";
    case FlashStep::ShortRead:
        return std::string(piece) + ", READ BUFFER moved fewer bytes than the piece";
    case FlashStep::Compare:
        return std::string(piece) + ", the piece read back differs from the one written";
    case FlashStep::Commit:
        return "commit, WRITE BUFFER";
    case FlashStep::DownloadPiece:
        return "download " + std::string(piece);
    case FlashStep::DownloadEnd:
        return "download end (the commit)";
    case FlashStep::NoWorker:
        return "start (no thread could be started for the job; nothing was sent)";
    }
    return "unknown step";
}

} // namespace zelfin
