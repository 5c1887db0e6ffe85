#include "sim/Transcript.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace zelfin::sim {

const char* DirectionName(uint8_t direction) {
    switch (direction) {
    case 0:
        return "out";
    case 1:
        return "in";
    default:
        return "none";
    }
}

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Good:
        return "good";
    case Outcome::CheckCondition:
        return "check";
    case Outcome::TransportFailure:
        return "transport";
    case Outcome::Pending:
        return "pending";
    case Outcome::Aborted:
        return "aborted";
    }
    return "?";
}

std::size_t FormatTranscriptLine(const TranscriptRecord& record,
                                 char (&line)[kTranscriptLineSize]) {
    int at = 0;
    for (std::size_t i = 0; i < record.cdb.size(); ++i) {
        at += std::snprintf(line + at, sizeof(line) - static_cast<std::size_t>(at),
                            i == 0 ? "%02X" : " %02X", record.cdb[i]);
    }
    std::snprintf(line + at, sizeof(line) - static_cast<std::size_t>(at),
                  " | %s %u | sense %02X/%02X/%02X | %s | xfer %u | %.6f s",
                  DirectionName(record.direction), record.length, record.senseKey, record.senseAsc,
                  record.senseAscq, OutcomeName(record.outcome), record.transferred,
                  record.seconds);
    return std::strlen(line);
}

std::string FormatTranscriptLine(const TranscriptRecord& record) {
    char line[kTranscriptLineSize];
    const std::size_t length = FormatTranscriptLine(record, line);
    return std::string(line, length);
}

std::optional<TranscriptRecord> ParseTranscriptLine(std::string_view text) {
    const std::string line(text);
    TranscriptRecord record;
    unsigned cdb[12];
    char direction[8] = {};
    unsigned length = 0;
    unsigned key = 0;
    unsigned asc = 0;
    unsigned ascq = 0;
    char outcome[16] = {};
    unsigned transferred = 0;
    double seconds = 0.0;
    const int fields = std::sscanf(
        line.c_str(),
        "%2x %2x %2x %2x %2x %2x %2x %2x %2x %2x %2x %2x | %7s %u | sense %2x/%2x/%2x | %15s | "
        "xfer %u | %lf s",
        &cdb[0], &cdb[1], &cdb[2], &cdb[3], &cdb[4], &cdb[5], &cdb[6], &cdb[7], &cdb[8], &cdb[9],
        &cdb[10], &cdb[11], direction, &length, &key, &asc, &ascq, outcome, &transferred, &seconds);
    if (fields != 20) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < 12; ++i) {
        record.cdb[i] = static_cast<uint8_t>(cdb[i]);
    }
    const std::string dir(direction);
    record.direction = dir == "out" ? 0 : dir == "in" ? 1 : dir == "none" ? 2 : 255;
    if (record.direction == 255) {
        return std::nullopt;
    }
    record.length = length;
    record.senseKey = static_cast<uint8_t>(key);
    record.senseAsc = static_cast<uint8_t>(asc);
    record.senseAscq = static_cast<uint8_t>(ascq);
    bool known = false;
    for (Outcome o : {Outcome::Good, Outcome::CheckCondition, Outcome::TransportFailure,
                      Outcome::Pending, Outcome::Aborted}) {
        if (std::strcmp(outcome, OutcomeName(o)) == 0) {
            record.outcome = o;
            known = true;
        }
    }
    if (!known) {
        return std::nullopt;
    }
    record.transferred = transferred;
    record.seconds = seconds;
    return record;
}

} // namespace zelfin::sim
