// The jobs of a run, from the hold on each drive to the verdict on what the drive answers after.
#include "app/UpdateRun.h"

#include "app/DriveLine.h"
#include "app/RunEndClock.h"
#include "device/CommandText.h"
#include "flash/Programming.h"
#include "package/Eligibility.h"
#include "package/FieldText.h"
#include "package/IdentityRecords.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace zelfin::app {

void UpdateRun::begin() {
    if (begun_) {
        return;
    }
    stopAfterRun_ = false;
    master_.CloseDrive();
    session_.BeginRun();
    begun_ = true;
}

void UpdateRun::end() {
    if (!begun_) {
        return;
    }
    for (Job& job : jobs_) {
        job.device.reset();
        if (job.hold != kInvalidHandle) {
            session_.ReleaseDrive(job.hold);
            job.hold = kInvalidHandle;
        }
    }
    stopAfterRun_ = session_.StopHeld();
    session_.EndRun();
    begun_ = false;
}

void UpdateRun::clear() {
    for (Job& job : jobs_) {
        job = Job{};
    }
    jobCount = 0;
}

bool UpdateRun::prepare(int16_t drive, HoldRefusal& refusal) {
    refusal = {};
    if (jobCount >= kMaxJobs) {
        return false;
    }
    Job& job = jobs_[static_cast<std::size_t>(jobCount++)];
    job.drive = drive; // named in the run's report even if it never starts
    try {
        job.device = std::make_unique<AtapiDevice>(platform_, false);
    } catch (const std::bad_alloc&) {
        return false;
    }
    master_.CopyStateTo(job.device.get());
    if (ending_() || !job.device->SelectDrive(drive) || !hold(job, refusal)) {
        return false;
    }
    job.state = JobState::Prepared;
    return true;
}

// Keeps the job's drive from everyone else before anything changes it.
bool UpdateRun::hold(Job& job, HoldRefusal& refusal) {
    const AtapiDevice& device = *job.device;
    const DriveEntry* entry = master_.GetEntry(static_cast<unsigned>(device.GetCurrentIndex()));
    if (entry == nullptr) {
        return false;
    }
    const DriveName name{entry->root, entry->adapter, entry->pathId, entry->target, entry->lun};
    const OpenResult held = session_.HoldDrive(name, device.DriveHandle());
    if (held.handle == kInvalidHandle) {
        refusal = {entry, held.error};
        return false;
    }
    job.hold = held.handle;
    return true;
}

std::optional<Bank> UpdateRun::assignBank(Job& job) {
    const int16_t drive = job.device->GetCurrentIndex();
    const DriveEntry* entry = master_.GetEntry(static_cast<unsigned>(drive));
    if (entry == nullptr) {
        return std::nullopt;
    }
    const int bank = entry->groupIndex + 1;
    const std::optional<Bank> cut = package_.cutBank(bank);
    if (!cut) {
        return std::nullopt;
    }
    job.drive = drive;
    job.bank = bank;
    job.download = cut->length == static_cast<uint32_t>(kDownloadImageLength);
    std::memcpy(job.vendor, entry->vendorId, sizeof job.vendor);
    std::memcpy(job.product, entry->productId, sizeof job.product);
    const std::string_view boot = bootCodeRevision({cut->data, cut->length});
    std::copy(boot.begin(), boot.end(), job.bootRevision);
    return cut;
}

int16_t UpdateRun::collect() {
    const Job& first = jobs_[0];
    const int16_t firstDrive = jobCount > 0 && first.device ? first.device->GetCurrentIndex() : -1;
    for (int k = 0; k < jobCount; ++k) {
        Job& job = jobs_[static_cast<std::size_t>(k)];
        if (job.state == JobState::Running) {
            job.state = job.device->jobFailed != 0 ? JobState::Failed : JobState::Committed;
            job.lastCommand = job.device->LastResult();
            job.mismatch = fieldText(job.device->mismatchDiagnostic);
        }
        job.device.reset();
    }
    return firstDrive;
}

void UpdateRun::readAgain(int16_t drive, RunEndClock& clock) {
    const bool answered = readDrive(drive, committedJobOf(drive), clock);
    for (int k = 0; k < jobCount; ++k) {
        Job& job = jobs_[static_cast<std::size_t>(k)];
        if (job.state != JobState::NotStarted && job.drive == drive) {
            job.answered = answered;
            job.lastAnswer = master_.LastResult();
        }
    }
}

// After its commit a drive restarts: for a while it may give no answer, answer NOT READY or
// UNIT ATTENTION, fail INQUIRY, or still answer as the firmware it ran before. It is opened
// afresh for each try, once a second. No command may outlast the bound, so a hung drive cannot
// hold the window.
bool UpdateRun::readDrive(int16_t drive, const Job* committed, RunEndClock& clock) {
    constexpr uint32_t kPollMilliseconds = 1000;
    constexpr double kLongestCommandSeconds = 10.0;
    const bool untilItsBank = committed != nullptr;
    for (int attempt = 1;; ++attempt) {
        master_.SetTimeout(static_cast<uint32_t>(
            std::clamp(std::ceil(clock.left()), 1.0, kLongestCommandSeconds)));
        if (untilItsBank || attempt == 1) {
            master_.SelectDrive(drive);
        }
        const bool read = master_.RefreshIdentity(1);
        if (master_.timedOut != 0) {
            clock.spent(master_.timeoutSeconds);
        }
        if (read && (!untilItsBank || reportsItsBank(*committed))) {
            return true;
        }
        if (clock.left() <= 0.0 || ending_() || (!untilItsBank && attempt >= kIdentityAttempts)) {
            return read;
        }
        if (untilItsBank) {
            platform_.Sleep(kPollMilliseconds);
            clock.spent(kPollMilliseconds / 1000.0);
        }
    }
}

const Job* UpdateRun::committedJobOf(int16_t drive) const {
    for (int k = 0; k < jobCount; ++k) {
        const Job& job = jobs_[static_cast<std::size_t>(k)];
        if (job.state == JobState::Committed && job.drive == drive) {
            return &job;
        }
    }
    return nullptr;
}

// The drive, as the list holds it now, answers with its own vendor and product and, on the
// write-buffer way, with its bank's new revision. A download rewrites the boot area and the
// start of the main firmware but not the main firmware's identity, so its revision is not
// known in advance; a drive that answers with the revision of the boot code it was given is
// running only that boot code.
bool UpdateRun::reportsItsBank(const Job& job) const {
    const DriveEntry* entry =
        job.drive < 0 ? nullptr : master_.GetEntry(static_cast<unsigned>(job.drive));
    if (entry == nullptr) {
        return false;
    }
    const DriveIdentity before{fieldText(job.vendor), fieldText(job.product), {}};
    const DriveIdentity now{fieldText(entry->vendorId), fieldText(entry->productId),
                            fieldText(entry->revision)};
    if (job.download) {
        const std::string_view boot = fieldText(job.bootRevision);
        return now.vendor == before.vendor && now.product == before.product &&
               (boot.empty() || now.revision != boot);
    }
    return reportsBank(package_, job.bank, before, now);
}

namespace {

// The steps that end in a command whose outcome is the reason.
bool endsInACommand(FlashStep step) {
    return step == FlashStep::WritePiece || step == FlashStep::ReadPiece ||
           step == FlashStep::Commit || step == FlashStep::DownloadPiece ||
           step == FlashStep::DownloadEnd;
}

std::string programmingFailure(const Job& job) {
    std::string reason = "programming failed";
    const FlashFailure& where = job.flashFailure;
    if (where.step == FlashStep::None) {
        return reason;
    }
    reason += " at " + describeStep(where);
    if (endsInACommand(where.step)) {
        reason += ": " + describeOutcome(job.lastCommand);
    } else if (where.step == FlashStep::ShortRead) {
        reason += ": " + std::to_string(job.lastCommand.transferred) + " bytes";
    } else if (where.step == FlashStep::Compare && !job.mismatch.empty()) {
        reason += "; the job's first difference: " + job.mismatch;
    }
    return reason;
}

} // namespace

// A drive that was not read again after the run keeps in the list the identity it had before,
// which proves nothing about the firmware it runs now.
std::string UpdateRun::failure(int k) const {
    const Job& job = jobs_[static_cast<std::size_t>(k)];
    switch (job.state) {
    case JobState::NotStarted:
    case JobState::Prepared:
        return "the job did not start (drive in use, no bank, or disc and tray check ended)";
    case JobState::Running:
    case JobState::Failed:
        return programmingFailure(job);
    case JobState::Committed:
        break;
    }
    if (!job.answered) {
        return "the wait after the restart: the drive was not read again (last try: " +
               describeOutcome(job.lastAnswer) + ")";
    }
    if (reportsItsBank(job)) {
        return {};
    }
    const DriveEntry* entry = master_.GetEntry(static_cast<unsigned>(job.drive));
    std::string reason = "identity: the drive does not answer as its bank says it will (it answers";
    if (entry != nullptr) {
        reason += " " + displayIdText(*entry) + " " + std::string(fieldText(entry->revision));
    }
    if (job.download) {
        const std::string_view boot = fieldText(job.bootRevision);
        reason += boot.empty() ? std::string() : "; " + std::string(boot) + " is its boot code's";
    } else {
        reason += "; its bank's is " + std::string(package_.newRevision(job.bank));
    }
    return reason + ")";
}

bool UpdateRun::succeeded() const {
    for (int k = 0; k < jobCount; ++k) {
        if (!failure(k).empty()) {
            return false;
        }
    }
    return true;
}

} // namespace zelfin::app
