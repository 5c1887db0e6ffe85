#include "frontends/cli/TracingPlatform.h"

#include "sim/Transcript.h"

#include <algorithm>
#include <cstring>

namespace zelfin::cli {
namespace {

sim::TranscriptRecord passThroughRecord(const PassThroughBlock& before,
                                        const PassThroughBlock& after, bool succeeded) {
    sim::TranscriptRecord record;
    std::memcpy(record.cdb.data(), before.sptd.Cdb, record.cdb.size());
    record.direction = before.sptd.DataIn;
    record.length = before.sptd.DataTransferLength;
    const uint32_t senseAt = after.sptd.SenseInfoOffset;
    if (senseAt + 14 <= sizeof(PassThroughBlock) && after.sptd.SenseInfoLength >= 14) {
        const auto* sense = reinterpret_cast<const uint8_t*>(&after) + senseAt;
        record.senseKey = sense[2] & 0x0F;
        record.senseAsc = sense[12];
        record.senseAscq = sense[13];
    }
    if (!succeeded) {
        record.outcome = sim::Outcome::TransportFailure;
    } else if (after.sptd.ScsiStatus != kScsiStatusGood) {
        record.outcome = sim::Outcome::CheckCondition;
    }
    record.transferred = succeeded ? after.sptd.DataTransferLength : 0;
    return record;
}

} // namespace

TracingPlatform::TracingPlatform(Platform& inner, std::FILE* out) : inner_(inner), out_(out) {
    if (!inner_.QueryPerformanceFrequency(frequency_)) {
        frequency_ = 0;
    }
}

TracingPlatform::~TracingPlatform() = default;

double TracingPlatform::SecondsSince(int64_t startTicks, int64_t nowTicks) const {
    return frequency_ > 0
               ? static_cast<double>(nowTicks - startTicks) / static_cast<double>(frequency_)
               : 0.0;
}

void TracingPlatform::WriteLine(const std::string& line) {
    sync::Lock lock(mutex_);
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

bool TracingPlatform::ScsiPassThroughDirect(OsHandle drive, PassThroughBlock& block,
                                            void* dataBuffer) {
    const PassThroughBlock before = block;
    const int64_t start = inner_.QueryPerformanceCounter();
    const bool succeeded = inner_.ScsiPassThroughDirect(drive, block, dataBuffer);
    sim::TranscriptRecord record = passThroughRecord(before, block, succeeded);
    record.seconds = SecondsSince(start, inner_.QueryPerformanceCounter());
    WriteLine(sim::FormatTranscriptLine(record));
    return succeeded;
}

void TracingPlatform::WriteExec(const SrbExecScsiCmd& srb, double seconds) {
    sim::TranscriptRecord record;
    std::memcpy(record.cdb.data(), srb.CDBByte, record.cdb.size());
    const uint8_t direction = srb.SRB_Flags & (kSrbDirIn | kSrbDirOut);
    record.direction = direction == kSrbDirIn ? 1 : direction == kSrbDirOut ? 0 : 2;
    record.length = srb.SRB_BufLen;
    record.senseKey = srb.SenseArea[2] & 0x0F;
    record.senseAsc = srb.SenseArea[12];
    record.senseAscq = srb.SenseArea[13];
    switch (srb.SRB_Status) {
    case kSsComp:
        record.outcome = sim::Outcome::Good;
        record.transferred = srb.SRB_BufLen;
        break;
    case kSsAborted:
        record.outcome = sim::Outcome::Aborted;
        break;
    case kSsPending:
        record.outcome = sim::Outcome::Pending;
        break;
    default:
        record.outcome = srb.SRB_TargStat == kScsiStatusCheckCondition
                             ? sim::Outcome::CheckCondition
                             : sim::Outcome::TransportFailure;
        break;
    }
    record.seconds = seconds;
    WriteLine(sim::FormatTranscriptLine(record));
}

void TracingPlatform::RetireCompleted(int64_t nowTicks) {
    // Only the thread that sent a request reads its block: it alone owns it.
    const auto self = sync::currentThread();
    std::vector<PendingExec> done;
    {
        sync::Lock lock(mutex_);
        const auto finished = [&](const PendingExec& p) {
            return p.owner == self && p.srb->SRB_Status != kSsPending;
        };
        std::copy_if(pending_.begin(), pending_.end(), std::back_inserter(done), finished);
        std::erase_if(pending_, finished);
    }
    for (const PendingExec& p : done) {
        WriteExec(*p.srb, SecondsSince(p.startTicks, nowTicks));
    }
}

uint32_t TracingPlatform::CallSendASPI32Command(ProcAddress entry, void* srb,
                                                const AspiRequestRefs& refs) {
    const bool exec = static_cast<const uint8_t*>(srb)[0] == kScExecScsiCmd;
    const int64_t start = inner_.QueryPerformanceCounter();
    const uint32_t status = inner_.CallSendASPI32Command(entry, srb, refs);
    if (exec) {
        sync::Lock lock(mutex_);
        pending_.push_back({static_cast<const SrbExecScsiCmd*>(srb), sync::currentThread(), start});
    }
    RetireCompleted(inner_.QueryPerformanceCounter());
    return status;
}

uint32_t TracingPlatform::WaitForSingleObject(OsHandle event, uint32_t milliseconds) {
    const uint32_t result = inner_.WaitForSingleObject(event, milliseconds);
    RetireCompleted(inner_.QueryPerformanceCounter());
    return result;
}

int64_t TracingPlatform::QueryPerformanceCounter() {
    const int64_t now = inner_.QueryPerformanceCounter();
    RetireCompleted(now);
    return now;
}

} // namespace zelfin::cli
