#pragma once
// The two programming procedures and the job body that picks one.

#include "flash/FlashFailure.h"
#include "flash/FlashJob.h"

#include <cstdint>
#include <functional>

namespace zelfin {

class AtapiDevice;

inline constexpr uint32_t kPieceBytes = 4096;
inline constexpr int32_t kDownloadImageLength = 0x20000;
inline constexpr int kProgrammingPasses = 3;
inline constexpr uint32_t kProgrammingTimeoutSeconds = 108000;
inline constexpr int32_t kProgrammingReadyLimitSeconds = 60;
inline constexpr double kCommitPauseSeconds = 3.0;
inline constexpr uint8_t kJobFailed = 42;
// How often Pause looks at the clock when it has messages to keep flowing: often enough for
// them, seldom enough to leave the processor alone.
inline constexpr uint32_t kPausePollMilliseconds = 10;

using ProcessMessages = std::function<void()>;

// The job body: leaves 0 or kJobFailed in the device's jobFailed, and where a failed job stopped
// in job.failure when it is set. A job without an image, or with less than one piece of it,
// fails before anything is sent.
void RunFlashJob(const FlashJob& job, const ProcessMessages& processMessages = {});

// Stop the disc, send the loader, write and verify every piece, pause, commit (0xA0 with the
// boot area, 0x80 without). Nothing is committed unless one pass verified every piece.
// failure, when set, names the step of a failure.
bool ProgramByWriteBuffer(AtapiDevice& device, const uint8_t* image, int32_t length, bool bootCode,
                          const ProcessMessages& processMessages = {},
                          FlashFailure* failure = nullptr);

// Up to three passes of WRITE BUFFER and READ BUFFER over the whole pieces; each pass starts
// at piece 0 again. Keeps the first mismatch of the job in mismatchDiagnostic.
bool WriteAndVerify(AtapiDevice& device, const uint8_t* image, int32_t length,
                    FlashFailure* failure = nullptr);

// Waits `seconds` on generalWatch. Without processMessages (the worker, which owns no window)
// it sleeps straight to the end, waking again only if a sleep ends early; with it, it polls in
// short sleeps and runs processMessages between them.
void Pause(AtapiDevice& device, double seconds, const ProcessMessages& processMessages = {});

// The vendor download: two DownloadBegin, up to three passes of summed pieces, DownloadEnd
// with the full length.
bool ProgramByDownload(AtapiDevice& device, const uint8_t* image, int32_t length,
                       FlashFailure* failure = nullptr);

} // namespace zelfin
