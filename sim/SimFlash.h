#pragma once
// The simulated drive's flash memory and the firmware side of reprogramming it: the flash
// identification, the loader the drive expects for its chip, the WRITE BUFFER staging buffer
// with its READ BUFFER read-back, the commit, and the F2 download sequence. Which firmware the
// drive runs, and so what INQUIRY reports, follows from the flash contents. sim/FLASH_MODEL.md
// describes the model.

#include "sim/SimDrive.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zelfin::sim {

inline constexpr std::size_t kSimFlashSize = 0x100000;
inline constexpr std::size_t kSimSectorSize = 0x1000;
inline constexpr std::size_t kSimSectorCount = kSimFlashSize / kSimSectorSize;
// The boot code lives in the first 64 KiB; commit code 0x80 leaves it alone.
inline constexpr std::size_t kSimBootAreaSize = 0x10000;
inline constexpr std::size_t kSimDownloadSize = 0x20000;

// Where the firmware keeps the INQUIRY identity it reports: main firmware and boot code.
inline constexpr std::size_t kSimMainRecord = 0x61300;
inline constexpr std::size_t kSimBootRecord = 0x63D;
// A record starts with the INQUIRY header bytes; the main firmware's also states 0x5B more
// bytes of INQUIRY data, which the boot code's shorter record does not.
inline constexpr std::array<std::uint8_t, 4> kSimRecordHeader{0x05, 0x80, 0x00, 0x32};
inline constexpr std::uint8_t kSimMainRecordAdditionalLength = 0x5B;
inline constexpr std::size_t kSimRecordVendor = 8;    // 8 characters
inline constexpr std::size_t kSimRecordProduct = 16;  // 16 characters
inline constexpr std::size_t kSimRecordRevision = 32; // 4 characters

using FlashId = std::array<std::uint8_t, 4>;

// How the drive firmware expects the loader for its chip to arrive.
struct SimLoaderFraming {
    FlashId id{};
    std::uint32_t bufferOffset = 0; // 0 with code 0x7F, or 0x80000 with code 0x00
    std::uint8_t code = 0x7F;
    std::uint8_t headerLength = 6;  // identification, then the loader length on 6-byte headers
    std::uint16_t loaderLength = 0; // the loader's own length, as the 6-byte header states it
    std::uint32_t transferLength = 0;
};

// The chips this drive model can be fitted with, or none for an identification it does not know.
std::optional<SimLoaderFraming> SimKnownChip(const FlashId& id);

// Drive-side time each command takes, in seconds.
struct SimFlashTimes {
    double loader = 0.004;
    double piece = 0.008;
    double readBack = 0.005;
    double commit = 12.0; // a whole-flash commit; partial commits take their share
    double downloadPiece = 0.010;
    double downloadEnd = 2.0;
    double other = 0.001;
};

// Faults to inject. Pass p of piece n is the p-th time (from 1) the piece is written or read;
// pass 0 stands for every pass.
struct SimFlashFaults {
    struct PieceFault {
        std::uint32_t piece = 0;
        std::uint32_t pass = 1;
    };
    struct ReadBackFault {
        std::uint32_t piece = 0;
        std::uint32_t pass = 1;
        std::uint32_t position = 0; // byte within the piece that reads back wrong
    };
    std::vector<ReadBackFault> readBackDiffers;
    std::vector<PieceFault> writeBufferFails;
    std::vector<PieceFault> readBufferFails;
    // WRITE BUFFER answers GOOD but keeps nothing.
    std::vector<PieceFault> writeBufferDropped;
    // READ BUFFER answers GOOD with the full length transferred, but delivers nothing.
    std::vector<PieceFault> readBufferShort;
    // READ BUFFER delivers the whole piece but reports the last 512 bytes as not moved.
    std::vector<PieceFault> readBufferResidual;
    bool commitFails = false;
    // Power goes while this sector (counted from the start of the flash) is being programmed.
    std::optional<std::uint32_t> powerLossAtSector;
};

enum class SimFirmware : std::uint8_t {
    Main,     // the main firmware runs and reports its own identity
    BootCode, // the main firmware is missing or damaged: the boot code answers
    Dead,     // the boot code itself is damaged: nothing answers
};

struct SimIdentity {
    std::array<char, 8> vendor{};
    std::array<char, 16> product{};
    std::array<char, 4> revision{};
};

// What one command did, before the drive turns it into its reply.
struct SimFlashOutcome {
    Sense sense;
    std::uint32_t transferred = 0; // data bytes moved
    double seconds = 0.0;
    bool powerLost = false; // the request never completes; the drive comes back on power-up
    bool restart = false;   // the drive resets after answering (power-on reset)
};

// The drive's own account of its latest commit or download end, for judging a run.
struct SimCommitRecord {
    std::uint8_t code = 0;     // WRITE BUFFER code 0x80 or 0xA0; 0xF2 for a download end; 0 none
    bool finished = false;     // programming ran to its end (power stayed)
    std::uint32_t sectors = 0; // sectors it programmed (or began to, when power went)
    std::uint32_t unread = 0;  // of those, how many no READ BUFFER had returned whole since their
                               // last WRITE BUFFER (every one, for a download end)
    bool EveryPieceReadBack() const { return code != 0 && unread == 0; }
};

class SimFlash : public FlashModel {
public:
    // A flash fitted with chip `id` and holding `contents` (exactly kSimFlashSize bytes, or
    // empty for an erased chip).
    SimFlash(const FlashId& id, std::span<const std::uint8_t> contents);

    // Fits `drive` with a flash memory: the drive takes the chip's identification and the
    // identity of the firmware the contents hold. The drive owns the model.
    static SimFlash& Install(SimDrive& drive, const FlashId& id,
                             std::span<const std::uint8_t> contents);
    // The flash memory `drive` is fitted with, or null.
    static SimFlash* Of(SimDrive& drive);

    Reply HandleCommand(SimDrive& drive, const Request& request) override;
    bool RevisionOverride(char revision[4]) const override;
    // Staging, loader and download state are forgotten.
    void OnPowerOnReset(SimDrive& drive) override;

    // One command as the firmware sees it. `data` is the data-out bytes for WRITE BUFFER and
    // F2 03, the data-in buffer for READ BUFFER, empty otherwise.
    SimFlashOutcome Execute(std::span<const std::uint8_t, 12> cdb, std::span<std::uint8_t> data);
    void Reset();

    SimFirmware Running() const;
    // The identity INQUIRY reports, from the record of the firmware that runs (none when dead).
    std::optional<SimIdentity> Identity() const;

    std::span<const std::uint8_t> Contents() const { return flash_; }
    const FlashId& ChipId() const { return chip_; }
    bool LoaderAccepted() const { return loaderAccepted_; }
    std::uint32_t Commits() const { return commits_; } // completed commits and download ends
    const SimCommitRecord& LastCommit() const { return lastCommit_; }
    // The bytes READ BUFFER last delivered to the host at each buffer offset (0xFF where it
    // never did); kept across restarts.
    std::span<const std::uint8_t> Delivered() const { return delivered_; }
    // Whether a READ BUFFER has returned the piece whole since its last WRITE BUFFER (and since
    // the last restart).
    bool PieceReadBack(std::uint32_t piece) const {
        return piece < kSimSectorCount && readWhole_[piece];
    }

    SimFlashFaults& Faults() { return faults_; }
    SimFlashTimes& Times() { return times_; }
    // The loader body the drive expects (the bytes after the header); empty checks framing only.
    void ExpectLoaderBody(std::span<const std::uint8_t> body) {
        expectedBody_.assign(body.begin(), body.end());
    }

private:
    SimFlashOutcome WriteBuffer(std::span<const std::uint8_t, 12> cdb,
                                std::span<const std::uint8_t> data);
    SimFlashOutcome ReadBuffer(std::span<const std::uint8_t, 12> cdb, std::span<std::uint8_t> data);
    SimFlashOutcome Download(std::span<const std::uint8_t, 12> cdb,
                             std::span<const std::uint8_t> data);
    SimFlashOutcome TakeLoader(std::uint32_t offset, std::uint8_t code,
                               std::span<const std::uint8_t> sent);
    SimFlashOutcome Commit(std::uint8_t code);
    SimFlashOutcome DownloadEnd(std::span<const std::uint8_t, 12> cdb);
    // Programs the marked sectors from `source` (which holds sector s at s * kSimSectorSize) in
    // ascending order, honouring a power loss.
    SimFlashOutcome Program(const std::uint8_t* source,
                            const std::array<bool, kSimSectorCount>& sectors,
                            double secondsPerSector, std::uint8_t code);
    bool RecordValid(std::size_t at) const;
    bool MainValid() const;
    void AdoptIdentity(SimDrive& drive) const;

    FlashId chip_;
    std::optional<SimLoaderFraming> framing_;
    std::vector<std::uint8_t> flash_;
    std::vector<std::uint8_t> staging_;
    std::vector<bool> staged_;
    std::vector<std::uint8_t> download_;
    std::vector<bool> downloaded_;
    std::array<std::uint16_t, kSimSectorCount> writes_{};
    std::array<std::uint16_t, kSimSectorCount> reads_{};
    std::array<bool, kSimSectorCount> readWhole_{};
    std::vector<std::uint8_t> delivered_;
    SimCommitRecord lastCommit_;
    std::vector<std::uint8_t> expectedBody_;
    SimFlashFaults faults_;
    SimFlashTimes times_;
    bool loaderAccepted_ = false;
    bool downloadOpen_ = false;
    // Sectors a power loss left erased: the main firmware is damaged until each is programmed
    // again.
    std::array<bool, kSimSectorCount> erasedByPowerLoss_{};
    bool bootDamaged_ = false;
    std::uint32_t commits_ = 0;
};

} // namespace zelfin::sim
