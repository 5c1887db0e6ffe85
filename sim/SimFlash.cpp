#include "sim/SimFlash.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace zelfin::sim {
namespace {

constexpr Sense kGood{};
constexpr Sense kInvalidFieldInParameters{0x05, 0x26, 0x00};
constexpr Sense kParameterValueInvalid{0x05, 0x26, 0x02};
constexpr Sense kCommandSequenceError{0x05, 0x2C, 0x00};
constexpr Sense kInternalTargetFailure{0x04, 0x44, 0x00};

constexpr std::uint8_t kErased = 0xFF;
constexpr std::uint32_t kSmallChipLoaderOffset = 0x80000;
constexpr std::uint32_t kResidualBytes = 512;

// The drive firmware's own list of flash chips and the loader each one takes. The small
// 512 Kbit parts take a 4-byte header at buffer 0x80000; three 2 Mbit parts accept a transfer
// that ends 6 bytes before their loader does.
struct ChipRow {
    FlashId id;
    std::uint16_t loaderLength;
    bool transferExcludesHeader;
};
constexpr ChipRow kChips[] = {
    {{0xDA, 0xC8, 0x00, 0x00}, 314, false},  {{0xBF, 0xB4, 0x00, 0x00}, 452, false},
    {{0xBF, 0xD6, 0x00, 0x01}, 1280, true},  {{0xBF, 0xB6, 0x00, 0x01}, 1280, true},
    {{0x37, 0x8C, 0x00, 0x01}, 1280, true},  {{0xBF, 0xD7, 0x00, 0x03}, 998, false},
    {{0x37, 0x0D, 0x00, 0x02}, 796, false},  {{0xBF, 0xB6, 0x00, 0x02}, 694, false},
    {{0xBF, 0xD6, 0x00, 0x02}, 694, false},  {{0xDA, 0xB5, 0x00, 0x02}, 698, false},
    {{0xDA, 0xB5, 0x00, 0x01}, 1280, false}, {{0xBF, 0xD7, 0x00, 0x04}, 854, false},
    {{0xC2, 0xB6, 0x00, 0x03}, 830, false},  {{0xDA, 0x46, 0x00, 0x03}, 742, false},
    {{0x37, 0xB5, 0x00, 0x03}, 946, false},  {{0xC2, 0xB6, 0x00, 0x07}, 798, false},
    {{0xDA, 0x46, 0x00, 0x07}, 710, false},  {{0x37, 0xB5, 0x00, 0x04}, 942, false},
    {{0x37, 0xB5, 0x00, 0x07}, 802, false},  {{0x9D, 0x3E, 0x00, 0x04}, 986, false},
    {{0xDA, 0xB6, 0x00, 0x07}, 754, false},  {{0xBF, 0xD8, 0x00, 0x05}, 1234, false},
    {{0x01, 0x37, 0x00, 0x05}, 1234, false}, {{0xC2, 0x37, 0x00, 0x05}, 1234, false},
    {{0xC2, 0x38, 0x00, 0x05}, 1234, false}, {{0xBF, 0xD8, 0x00, 0x06}, 1078, false},
    {{0x01, 0x37, 0x00, 0x06}, 1122, false}, {{0xC2, 0x37, 0x00, 0x06}, 1138, false},
};

std::uint32_t Be24(std::span<const std::uint8_t, 12> cdb, std::size_t at) {
    return std::uint32_t{cdb[at]} << 16 | std::uint32_t{cdb[at + 1]} << 8 | cdb[at + 2];
}

std::uint32_t Be32(std::span<const std::uint8_t, 12> cdb, std::size_t at) {
    return std::uint32_t{cdb[at]} << 24 | Be24(cdb, at + 1);
}

SimFlashOutcome Answer(Sense sense, double seconds, std::uint32_t transferred = 0) {
    SimFlashOutcome out;
    out.sense = sense;
    out.seconds = seconds;
    out.transferred = sense.key == 0 ? transferred : 0;
    return out;
}

bool Matches(const std::vector<SimFlashFaults::PieceFault>& faults, std::uint32_t piece,
             std::uint32_t pass) {
    return std::any_of(faults.begin(), faults.end(), [&](const SimFlashFaults::PieceFault& f) {
        return f.piece == piece && (f.pass == 0 || f.pass == pass);
    });
}

// Marks every sector that [offset, offset + length) touches.
void MarkSectors(std::vector<bool>& marks, std::size_t offset, std::size_t length) {
    if (length == 0) {
        return;
    }
    for (std::size_t s = offset / kSimSectorSize; s <= (offset + length - 1) / kSimSectorSize;
         ++s) {
        marks[s] = true;
    }
}

} // namespace

std::optional<SimLoaderFraming> SimKnownChip(const FlashId& id) {
    for (const ChipRow& row : kChips) {
        if (row.id != id) {
            continue;
        }
        SimLoaderFraming f;
        f.id = id;
        f.loaderLength = row.loaderLength;
        const bool small = (&row - kChips) < 2;
        f.bufferOffset = small ? kSmallChipLoaderOffset : 0;
        f.code = small ? 0x00 : 0x7F;
        f.headerLength = small ? 4 : 6;
        f.transferLength =
            row.transferExcludesHeader ? row.loaderLength : f.headerLength + row.loaderLength;
        return f;
    }
    return std::nullopt;
}

SimFlash::SimFlash(const FlashId& id, std::span<const std::uint8_t> contents)
    : chip_(id), framing_(SimKnownChip(id)), flash_(kSimFlashSize, kErased),
      staging_(kSimFlashSize, kErased), staged_(kSimSectorCount, false),
      download_(kSimDownloadSize, kErased), downloaded_(kSimDownloadSize / kSimSectorSize, false),
      delivered_(kSimFlashSize, kErased) {
    if (!contents.empty()) {
        if (contents.size() != kSimFlashSize) {
            throw std::invalid_argument("SimFlash: the flash holds exactly 1,048,576 bytes");
        }
        std::copy(contents.begin(), contents.end(), flash_.begin());
    }
    staging_ = flash_;
}

SimFlash& SimFlash::Install(SimDrive& drive, const FlashId& id,
                            std::span<const std::uint8_t> contents) {
    auto model = std::make_unique<SimFlash>(id, contents);
    SimFlash& flash = *model;
    drive.SetFlashId(id[0], id[1], id[2], id[3]);
    flash.AdoptIdentity(drive);
    drive.SetFlashModel(std::move(model));
    return flash;
}

SimFlash* SimFlash::Of(SimDrive& drive) {
    return dynamic_cast<SimFlash*>(drive.GetFlashModel());
}

void SimFlash::AdoptIdentity(SimDrive& drive) const {
    if (const std::optional<SimIdentity> id = Identity()) {
        drive.SetIdentity(std::string(id->vendor.data(), id->vendor.size()),
                          std::string(id->product.data(), id->product.size()),
                          std::string(id->revision.data(), id->revision.size()));
    }
}

Reply SimFlash::HandleCommand(SimDrive&, const Request& request) {
    const std::span<std::uint8_t> data = request.data != nullptr
                                             ? std::span<std::uint8_t>(request.data, request.length)
                                             : std::span<std::uint8_t>();
    const SimFlashOutcome out = Execute(request.cdb, data);
    Reply reply;
    reply.seconds = out.seconds;
    if (out.powerLost) {
        reply.outcome = Outcome::TransportFailure;
    } else if (out.sense.key != 0) {
        reply.outcome = Outcome::CheckCondition;
        reply.sense = out.sense;
    } else {
        reply.transferred = out.transferred;
    }
    // The drive restarts once it has answered, as its restart behaviour says.
    reply.restart = out.restart;
    return reply;
}

bool SimFlash::RevisionOverride(char revision[4]) const {
    const std::optional<SimIdentity> id = Identity();
    if (!id) {
        return false;
    }
    std::memcpy(revision, id->revision.data(), id->revision.size());
    return true;
}

void SimFlash::OnPowerOnReset(SimDrive& drive) {
    Reset();
    AdoptIdentity(drive);
    if (Running() == SimFirmware::Dead) {
        drive.Vanish(); // no firmware runs: from now on the drive answers nothing at all
    }
}

void SimFlash::Reset() {
    // The buffer starts as a copy of the flash, so a sector no WRITE BUFFER reached reads back
    // as what a commit leaves in it.
    std::copy(flash_.begin(), flash_.end(), staging_.begin());
    std::fill(staged_.begin(), staged_.end(), false);
    std::fill(download_.begin(), download_.end(), kErased);
    std::fill(downloaded_.begin(), downloaded_.end(), false);
    writes_.fill(0);
    reads_.fill(0);
    readWhole_.fill(false);
    loaderAccepted_ = false;
    downloadOpen_ = false;
}

SimFlashOutcome SimFlash::Execute(std::span<const std::uint8_t, 12> cdb,
                                  std::span<std::uint8_t> data) {
    if (Running() == SimFirmware::Dead) {
        SimFlashOutcome out;
        out.powerLost = true;
        return out;
    }
    switch (cdb[0]) {
    case 0x3B:
        return WriteBuffer(cdb, data);
    case 0x3C:
        return ReadBuffer(cdb, data);
    case 0xF2:
        return Download(cdb, data);
    default:
        return Answer(kInvalidOpcode, times_.other);
    }
}

SimFlashOutcome SimFlash::WriteBuffer(std::span<const std::uint8_t, 12> cdb,
                                      std::span<const std::uint8_t> data) {
    if ((cdb[1] & 0x1F) != 0x05 || cdb[2] != 0x01) {
        return Answer(kInvalidFieldInCdb, times_.other);
    }
    const std::uint32_t offset = Be24(cdb, 3);
    const std::uint32_t length = Be24(cdb, 6);
    const std::uint8_t code = cdb[9];
    if (code == 0x80 || code == 0xA0) {
        if (length != 0) {
            return Answer(kInvalidFieldInCdb, times_.other);
        }
        return Commit(code);
    }
    if (data.size() < length) {
        return Answer(kInvalidFieldInCdb, times_.other);
    }
    const std::span<const std::uint8_t> sent = data.first(length);
    if (code == 0x7F) {
        return TakeLoader(offset, code, sent);
    }
    if (code != 0x00) {
        return Answer(kInvalidFieldInCdb, times_.other);
    }
    // The small chips take their loader at 0x80000 with code 0x00; an image piece there is
    // always a whole 4096-byte sector.
    if (framing_ && framing_->code == 0x00 && offset == framing_->bufferOffset &&
        length != kSimSectorSize) {
        return TakeLoader(offset, code, sent);
    }
    if (offset >= kSimFlashSize || length > kSimFlashSize - offset) {
        return Answer(kInvalidFieldInCdb, times_.other);
    }
    const std::size_t sector = offset / kSimSectorSize;
    const std::uint32_t pass = ++writes_[sector];
    if (Matches(faults_.writeBufferFails, static_cast<std::uint32_t>(sector), pass)) {
        return Answer(kInternalTargetFailure, times_.piece);
    }
    if (length != 0) {
        std::fill(readWhole_.begin() + static_cast<std::ptrdiff_t>(sector),
                  readWhole_.begin() +
                      static_cast<std::ptrdiff_t>((offset + length - 1) / kSimSectorSize + 1),
                  false);
    }
    if (!Matches(faults_.writeBufferDropped, static_cast<std::uint32_t>(sector), pass)) {
        std::copy(sent.begin(), sent.end(), staging_.begin() + offset);
        MarkSectors(staged_, offset, length);
    }
    return Answer(kGood, times_.piece * length / kSimSectorSize, length);
}

SimFlashOutcome SimFlash::TakeLoader(std::uint32_t offset, std::uint8_t code,
                                     std::span<const std::uint8_t> sent) {
    // A loader that does not suit this chip is refused, and any earlier one is forgotten.
    loaderAccepted_ = false;
    if (!framing_ || framing_->bufferOffset != offset || framing_->code != code ||
        framing_->transferLength != sent.size() || sent.size() < framing_->headerLength ||
        !std::equal(chip_.begin(), chip_.end(), sent.begin())) {
        return Answer(kInvalidFieldInParameters, times_.loader);
    }
    if (framing_->headerLength == 6 &&
        (sent[4] != framing_->loaderLength >> 8 || sent[5] != (framing_->loaderLength & 0xFF))) {
        return Answer(kInvalidFieldInParameters, times_.loader);
    }
    if (!expectedBody_.empty()) {
        const std::span<const std::uint8_t> body = sent.subspan(framing_->headerLength);
        if (body.size() > expectedBody_.size() ||
            !std::equal(body.begin(), body.end(), expectedBody_.begin())) {
            return Answer(kInvalidFieldInParameters, times_.loader);
        }
    }
    loaderAccepted_ = true;
    return Answer(kGood, times_.loader, static_cast<std::uint32_t>(sent.size()));
}

SimFlashOutcome SimFlash::ReadBuffer(std::span<const std::uint8_t, 12> cdb,
                                     std::span<std::uint8_t> data) {
    if ((cdb[1] & 0x1F) != 0x01 || cdb[2] != 0x01) {
        return Answer(kInvalidFieldInCdb, times_.other);
    }
    const std::uint32_t offset = Be24(cdb, 3);
    const std::uint32_t length = Be24(cdb, 6);
    if (offset >= kSimFlashSize || length > kSimFlashSize - offset || data.size() < length) {
        return Answer(kInvalidFieldInCdb, times_.other);
    }
    const std::size_t sector = offset / kSimSectorSize;
    const std::uint32_t pass = ++reads_[sector];
    if (Matches(faults_.readBufferFails, static_cast<std::uint32_t>(sector), pass)) {
        return Answer(kInternalTargetFailure, times_.readBack);
    }
    const double seconds = times_.readBack * length / kSimSectorSize;
    if (Matches(faults_.readBufferShort, static_cast<std::uint32_t>(sector), pass)) {
        return Answer(kGood, seconds, length); // claims it all, delivers nothing
    }
    std::copy_n(staging_.begin() + offset, length, data.begin());
    for (const SimFlashFaults::ReadBackFault& f : faults_.readBackDiffers) {
        if (f.piece == sector && (f.pass == 0 || f.pass == pass) && f.position < length) {
            data[f.position] = static_cast<std::uint8_t>(~data[f.position]);
        }
    }
    if (Matches(faults_.readBufferResidual, static_cast<std::uint32_t>(sector), pass)) {
        return Answer(kGood, seconds, length > kResidualBytes ? length - kResidualBytes : 0);
    }
    std::copy_n(data.begin(), length, delivered_.begin() + offset);
    // Sectors the answer covered from end to end.
    for (std::size_t s = (offset + kSimSectorSize - 1) / kSimSectorSize;
         (s + 1) * kSimSectorSize <= std::size_t{offset} + length; ++s) {
        readWhole_[s] = true;
    }
    return Answer(kGood, seconds, length);
}

SimFlashOutcome SimFlash::Commit(std::uint8_t code) {
    if (faults_.commitFails) {
        return Answer(kInternalTargetFailure, times_.other);
    }
    if (!loaderAccepted_) {
        return Answer(kCommandSequenceError, times_.other);
    }
    std::array<bool, kSimSectorCount> sectors{};
    const std::size_t first = code == 0x80 ? kSimBootAreaSize / kSimSectorSize : 0;
    for (std::size_t s = first; s < kSimSectorCount; ++s) {
        sectors[s] = staged_[s];
    }
    return Program(staging_.data(), sectors, times_.commit / kSimSectorCount, code);
}

SimFlashOutcome SimFlash::Program(const std::uint8_t* source,
                                  const std::array<bool, kSimSectorCount>& sectors,
                                  double secondsPerSector, std::uint8_t code) {
    lastCommit_ = SimCommitRecord{};
    lastCommit_.code = code;
    for (std::size_t s = 0; s < kSimSectorCount; ++s) {
        if (sectors[s]) {
            ++lastCommit_.sectors;
            // A download is never read back.
            lastCommit_.unread += code == 0xF2 || !readWhole_[s] ? 1 : 0;
        }
    }
    SimFlashOutcome out;
    for (std::size_t s = 0; s < sectors.size(); ++s) {
        if (!sectors[s]) {
            continue;
        }
        const auto at = static_cast<std::ptrdiff_t>(s * kSimSectorSize);
        if (faults_.powerLossAtSector && *faults_.powerLossAtSector == s) {
            // The sector was erased but not written; nothing after it was touched.
            std::fill_n(flash_.begin() + at, kSimSectorSize, kErased);
            if (s * kSimSectorSize < kSimBootAreaSize) {
                bootDamaged_ = true;
            }
            erasedByPowerLoss_[s] = true;
            faults_.powerLossAtSector.reset();
            out.powerLost = true;
            out.restart = true;
            return out;
        }
        std::copy_n(source + at, kSimSectorSize, flash_.begin() + at);
        erasedByPowerLoss_[s] = false;
        out.seconds += secondsPerSector;
    }
    ++commits_;
    lastCommit_.finished = true;
    out.restart = true;
    return out;
}

SimFlashOutcome SimFlash::Download(std::span<const std::uint8_t, 12> cdb,
                                   std::span<const std::uint8_t> data) {
    switch (cdb[1]) {
    case 0x01:
        // Opening again starts the sequence over.
        std::fill(downloaded_.begin(), downloaded_.end(), false);
        downloadOpen_ = true;
        return Answer(kGood, times_.other);
    case 0x03: {
        if (!downloadOpen_) {
            return Answer(kCommandSequenceError, times_.other);
        }
        const std::uint32_t offset = Be32(cdb, 2);
        const std::uint32_t withSum = std::uint32_t{cdb[8]} << 8 | cdb[9];
        if (withSum < 2 || data.size() < withSum) {
            return Answer(kInvalidFieldInCdb, times_.other);
        }
        const std::uint32_t length = withSum - 2;
        if (offset >= kSimDownloadSize || length > kSimDownloadSize - offset) {
            return Answer(kInvalidFieldInCdb, times_.other);
        }
        std::uint16_t sum = 0;
        for (std::uint32_t i = 0; i < length; ++i) {
            sum = static_cast<std::uint16_t>(sum + data[i]);
        }
        if (data[length] != (sum & 0xFF) || data[length + 1] != sum >> 8) {
            return Answer(kParameterValueInvalid, times_.downloadPiece);
        }
        std::copy_n(data.begin(), length, download_.begin() + offset);
        MarkSectors(downloaded_, offset, length);
        return Answer(kGood, times_.downloadPiece, withSum);
    }
    case 0x04:
        return DownloadEnd(cdb);
    default:
        return Answer(kInvalidFieldInCdb, times_.other);
    }
}

SimFlashOutcome SimFlash::DownloadEnd(std::span<const std::uint8_t, 12> cdb) {
    if (!downloadOpen_) {
        return Answer(kCommandSequenceError, times_.other);
    }
    if (cdb[11] != 0x01) {
        return Answer(kInvalidFieldInCdb, times_.other);
    }
    // The download replaces the first 128 KiB of the flash, and only as a whole.
    const std::uint32_t total = Be32(cdb, 6);
    const bool complete =
        std::all_of(downloaded_.begin(), downloaded_.end(), [](bool b) { return b; });
    if (total != kSimDownloadSize || !complete) {
        return Answer(kInvalidFieldInParameters, times_.other);
    }
    std::array<bool, kSimSectorCount> sectors{};
    std::fill_n(sectors.begin(), kSimDownloadSize / kSimSectorSize, true);
    return Program(download_.data(), sectors,
                   times_.downloadEnd / (kSimDownloadSize / kSimSectorSize), 0xF2);
}

bool SimFlash::RecordValid(std::size_t at) const {
    return std::equal(kSimRecordHeader.begin(), kSimRecordHeader.end(),
                      flash_.begin() + static_cast<std::ptrdiff_t>(at));
}

bool SimFlash::MainValid() const {
    const bool intact = std::none_of(erasedByPowerLoss_.begin(), erasedByPowerLoss_.end(),
                                     [](bool erased) { return erased; });
    return intact && RecordValid(kSimMainRecord) &&
           flash_[kSimMainRecord + kSimRecordHeader.size()] == kSimMainRecordAdditionalLength;
}

SimFirmware SimFlash::Running() const {
    if (bootDamaged_ || !RecordValid(kSimBootRecord)) {
        return SimFirmware::Dead;
    }
    if (!MainValid()) {
        return SimFirmware::BootCode;
    }
    return SimFirmware::Main;
}

std::optional<SimIdentity> SimFlash::Identity() const {
    const SimFirmware running = Running();
    if (running == SimFirmware::Dead) {
        return std::nullopt;
    }
    const std::size_t record = running == SimFirmware::Main ? kSimMainRecord : kSimBootRecord;
    SimIdentity id;
    std::memcpy(id.vendor.data(), &flash_[record + kSimRecordVendor], id.vendor.size());
    std::memcpy(id.product.data(), &flash_[record + kSimRecordProduct], id.product.size());
    std::memcpy(id.revision.data(), &flash_[record + kSimRecordRevision], id.revision.size());
    return id;
}

} // namespace zelfin::sim
