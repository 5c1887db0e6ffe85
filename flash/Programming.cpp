#include "flash/Programming.h"

#include "device/AtapiDevice.h"
#include "flash/Loader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace zelfin {
namespace {

// The download piece travels with its two sum bytes.
constexpr uint32_t kDownloadPieceBytes = kPieceBytes + 2;

uint32_t PieceCount(int32_t length) {
    return length > 0 ? static_cast<uint32_t>(length) / kPieceBytes : 0;
}

bool BuffersHold(const AtapiDevice& device, uint32_t writeBytes, uint32_t readBytes) {
    return device.writeBuffer != nullptr && device.writeCapacity >= writeBytes &&
           (readBytes == 0 || (device.readBuffer != nullptr && device.readCapacity >= readBytes));
}

// Called only once a piece is known to differ: finds the first differing byte and keeps the
// first mismatch of the job.
void NoteMismatch(AtapiDevice& device, uint32_t piece) {
    if (device.mismatchDiagnostic[0] != '\0') {
        return;
    }
    const uint8_t* read = device.readBuffer;
    const uint32_t position = static_cast<uint32_t>(
        std::mismatch(read, read + kPieceBytes, device.writeBuffer).first - read);
    std::snprintf(device.mismatchDiagnostic, sizeof device.mismatchDiagnostic,
                  "R = %.2x , W = %.2x , Pos = %d(%x) , Piece = %u",
                  static_cast<unsigned>(device.readBuffer[position]),
                  static_cast<unsigned>(device.writeBuffer[position]), static_cast<int>(position),
                  static_cast<unsigned>(position), static_cast<unsigned>(piece));
}

// One sleep of at most `milliseconds` (rounded up, so a sleep never ends before the time), and
// short of the OS's "for ever".
uint32_t SleepSlice(double milliseconds) {
    constexpr double kLongest = static_cast<double>(kInfinite - 1);
    return static_cast<uint32_t>(std::clamp(std::ceil(milliseconds), 1.0, kLongest));
}

// Each failure overwrites the last: a pass that fails is retried, and the job's reason is where
// its last pass stopped.
bool Failed(FlashFailure* failure, FlashStep step, uint32_t piece = 0, int pass = 0) {
    if (failure != nullptr) {
        *failure = {step, piece, pass};
    }
    return false;
}

void FillComplement(uint8_t* out, const uint8_t* piece) {
    for (uint32_t i = 0; i < kPieceBytes; ++i) {
        out[i] = static_cast<uint8_t>(~piece[i]);
    }
}

// One pass over every piece; false at the first piece that fails.
bool WriteAndVerifyPass(AtapiDevice& device, const uint8_t* image, uint32_t pieces, int pass,
                        FlashFailure* failure) {
    for (uint32_t n = 0; n < pieces; ++n) {
        std::memcpy(device.writeBuffer, image + std::size_t{n} * kPieceBytes, kPieceBytes);
        if (!device.WriteBuffer(n * kPieceBytes, kPieceBytes, kWriteCodePiece)) {
            return Failed(failure, FlashStep::WritePiece, n, pass);
        }
        // Bytes the drive never sent must not pass for the piece: the buffer starts as the
        // piece's complement, which differs from it in every byte.
        FillComplement(device.readBuffer, device.writeBuffer);
        if (!device.ReadBuffer(n * kPieceBytes, kPieceBytes)) {
            return Failed(failure, FlashStep::ReadPiece, n, pass);
        }
        // A transport that reports a residual must have moved the whole piece.
        if (device.transferred != kPieceBytes) {
            return Failed(failure, FlashStep::ShortRead, n, pass);
        }
        // The common case, equal pieces, at memcmp's speed; the position only on a difference.
        if (std::memcmp(device.readBuffer, device.writeBuffer, kPieceBytes) != 0) {
            NoteMismatch(device, n);
            return Failed(failure, FlashStep::Compare, n, pass);
        }
    }
    return true;
}

bool DownloadPass(AtapiDevice& device, const uint8_t* image, uint32_t pieces, int pass,
                  FlashFailure* failure) {
    for (uint32_t n = 0; n < pieces; ++n) {
        std::memset(device.writeBuffer, 0, kPieceBytes);
        std::memcpy(device.writeBuffer, image + std::size_t{n} * kPieceBytes, kPieceBytes);
        if (!device.DownloadPiece(n * kPieceBytes, kPieceBytes)) {
            return Failed(failure, FlashStep::DownloadPiece, n, pass);
        }
    }
    return true;
}

} // namespace

void RunFlashJob(const FlashJob& job, const ProcessMessages& processMessages) {
    if (job.device == nullptr) {
        return;
    }
    AtapiDevice& device = *job.device;
    device.jobFailed = 0;
    device.mismatchDiagnostic[0] = '\0';
    if (job.failure != nullptr) {
        *job.failure = {};
    }
    // Without one whole piece the drive would get a commit with nothing verified behind it.
    if (job.imageStart == nullptr || job.imageLength < static_cast<int32_t>(kPieceBytes)) {
        device.jobFailed = kJobFailed;
        Failed(job.failure, FlashStep::Image);
        return;
    }
    const bool ok = job.imageLength == kDownloadImageLength
                        ? ProgramByDownload(device, job.imageStart, job.imageLength, job.failure)
                        : ProgramByWriteBuffer(device, job.imageStart, job.imageLength,
                                               job.bootCode, processMessages, job.failure);
    if (!ok) {
        device.jobFailed = kJobFailed;
    } else if (job.failure != nullptr) {
        *job.failure = {}; // a pass that failed and was retried is no reason
    }
}

bool ProgramByWriteBuffer(AtapiDevice& device, const uint8_t* image, int32_t length, bool bootCode,
                          const ProcessMessages& processMessages, FlashFailure* failure) {
    device.SetTimeout(kProgrammingTimeoutSeconds);
    // Preparation and loader are best effort: the pieces go out whatever they did.
    device.WaitReady(kProgrammingReadyLimitSeconds);
    device.StopDisc();
    SendLoader(device);
    if (!WriteAndVerify(device, image, length, failure)) {
        return false;
    }
    Pause(device, kCommitPauseSeconds, processMessages);
    return device.WriteBuffer(0, 0, bootCode ? kWriteCodeCommitBootCode : kWriteCodeCommit) ||
           Failed(failure, FlashStep::Commit);
}

bool WriteAndVerify(AtapiDevice& device, const uint8_t* image, int32_t length,
                    FlashFailure* failure) {
    const uint32_t pieces = PieceCount(length);
    if (pieces > 0 && (image == nullptr || !BuffersHold(device, kPieceBytes, kPieceBytes))) {
        return Failed(failure, FlashStep::Image);
    }
    for (int pass = 1; pass <= kProgrammingPasses; ++pass) {
        if (WriteAndVerifyPass(device, image, pieces, pass, failure)) {
            return true;
        }
    }
    return false;
}

void Pause(AtapiDevice& device, double seconds, const ProcessMessages& processMessages) {
    Platform& os = device.GetPlatform();
    HiTimer& watch = device.generalWatch;
    if (watch.unavailable != 0) {
        // Without a counter the watch reads 0 for ever; the sleeps alone measure the pause.
        for (double left = seconds * 1000.0; left > 0.0;) {
            const uint32_t slice = processMessages ? kPausePollMilliseconds : SleepSlice(left);
            if (processMessages) {
                processMessages();
            }
            os.Sleep(slice);
            left -= slice;
        }
        return;
    }
    watch.Start(true);
    for (double lap = watch.Lap(); lap < seconds; lap = watch.Lap()) {
        if (processMessages) {
            processMessages();
            os.Sleep(kPausePollMilliseconds);
        } else {
            // Nothing to dispatch: sleep to the end, and again only if the sleep came back early.
            os.Sleep(SleepSlice((seconds - lap) * 1000.0));
        }
    }
    watch.Stop();
}

bool ProgramByDownload(AtapiDevice& device, const uint8_t* image, int32_t length,
                       FlashFailure* failure) {
    // Refuse before the drive is put into download mode, not half-way through.
    const uint32_t pieces = PieceCount(length);
    if (pieces > 0 && (image == nullptr || !BuffersHold(device, kDownloadPieceBytes, 0))) {
        return Failed(failure, FlashStep::Image);
    }
    device.DownloadBegin();
    device.DownloadBegin();
    for (int pass = 1; pass <= kProgrammingPasses; ++pass) {
        if (DownloadPass(device, image, pieces, pass, failure)) {
            return device.DownloadEnd(static_cast<uint32_t>(length)) ||
                   Failed(failure, FlashStep::DownloadEnd);
        }
    }
    return false;
}

} // namespace zelfin
