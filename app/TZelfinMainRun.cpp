// The Update command, the disc and tray check, the progress display and the end of a run.
#include "app/DriveLine.h"
#include "app/RunEndClock.h"
#include "app/TReboot.h"
#include "app/TZelfinMain.h"
#include "app/Texts.h"
#include "flash/Parser.h"
#include "flash/Programming.h"
#include "package/Eligibility.h"
#include "package/FieldText.h"
#include "package/IdentityRecords.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

namespace zelfin::app {
namespace {

constexpr int32_t kTrayWaitSeconds = 120;

// The drive gave no answer at all to the last command: not sent, or ended any way but GOOD
// without sense. A drive that answers with sense is still talking to us.
bool noAnswer(const AtapiDevice& device) {
    const CommandResult& result = device.LastResult();
    return result.outcome != CommandOutcome::Good && result.senseKey == 0;
}

// "sr0 (BRYMOTE DVDRW RVM-270A, 1-0-0-0)": the drive as its list line names it.
std::string driveName(const DriveEntry& entry) {
    std::string root(entry.root, strnlen(entry.root, sizeof entry.root));
    root.resize(std::min(root.find('\\'), root.size()));
    std::string id(entry.displayId, strnlen(entry.displayId, sizeof entry.displayId));
    id.erase(id.find_last_not_of(' ') + 1);
    // Drives found through ASPI have no letter.
    return (root.empty() ? "" : root + " ") + "(" + id + ", " + std::to_string(entry.adapter) +
           "-" + std::to_string(entry.pathId) + "-" + std::to_string(entry.target) + "-" +
           std::to_string(entry.lun) + ")";
}

} // namespace

void TZelfinMain::cmdUpdateClick() {
    if (terminating() || runUnderWay()) {
        return;
    }
    jobCount = 0;
    jobNotStarted.fill(false);
    jobDrives_.fill(JobDrive{});
    preparing_ = true;
    if (state_.settings.AUTOMODE != 0) {
        beginRun();
        for (unsigned i = 0; i < masterDevice->GetDriveCount() && jobCount < kMaxJobs; ++i) {
            const DriveEntry* entry = masterDevice->GetEntry(i);
            if (entry != nullptr && entry->present == 1 && entry->eligible == 1) {
                prepareJob(jobCount++, static_cast<int16_t>(i));
            }
        }
    } else {
        const int selected = cboDrives.selectedIndex();
        const DriveEntry* entry =
            selected < 0 ? nullptr : masterDevice->GetEntry(static_cast<unsigned>(selected));
        if (entry != nullptr && entry->upToDate == 1 && state_.settings.N2OMESSAGE != 0) {
            if (toolkit_.messageDialog(ui::DialogType::Warning, text::kAlreadyUpToDate,
                                       ui::DialogButtons::YesNo) != ui::DialogAnswer::Yes) {
                preparing_ = false;
                endProgram();
                return;
            }
        }
        beginRun();
        jobCount = 1;
        prepareJob(0, static_cast<int16_t>(selected));
    }

    runningJobs = 0;
    for (int k = 0; k < jobCount; ++k) {
        if (!jobNotStarted[k] && !startJob(k)) {
            jobNotStarted[k] = true;
        }
    }
    preparing_ = false;

    if (runningJobs > 0) {
        pbar.setMinimum(0);
        pbar.setMaximum(kRunSteps);
        pbar.setStep(1);
        tmr.setEnabled(true);
        cmdUpdate.setEnabled(false);
        cmdClose.setEnabled(false);
        lblMsg.setFontColour(ui::kMaroon);
    } else if (jobCount > 0) {
        // Every job failed before its worker started, or every worker has already ended. With
        // no job at all (automatic mode, no drive left to update) nothing was flashed and there
        // is no result to report: the window stays idle.
        finishRun();
    } else {
        endRun();
    }
}

// The run's guards go up before its first job touches a drive. The master lets go of its drive
// first: its open handle would stand in the way of a job's volume lock.
void TZelfinMain::beginRun() {
    if (runBegun_) {
        return;
    }
    jobHolds_.fill(kInvalidHandle);
    stopAfterRun_ = false;
    masterDevice->CloseDrive();
    platform_.BeginRun();
    toolkit_.setRunUnderWay(true);
    runBegun_ = true;
}

// After the drives have been read again: the holds go, then the guards.
void TZelfinMain::endRun() {
    if (!runBegun_) {
        return;
    }
    for (OsHandle& hold : jobHolds_) {
        if (hold != kInvalidHandle) {
            platform_.ReleaseDrive(hold);
            hold = kInvalidHandle;
        }
    }
    stopAfterRun_ = platform_.StopHeld();
    platform_.EndRun();
    toolkit_.setRunUnderWay(false);
    runBegun_ = false;
}

// Keeps the job's drive from everyone else before anything changes it. A drive someone else
// has fails its job, with a message that says what to do; the other jobs go on.
bool TZelfinMain::holdDrive(int job) {
    const AtapiDevice& device = *jobDevices[job];
    const DriveEntry* entry =
        masterDevice->GetEntry(static_cast<unsigned>(device.GetCurrentIndex()));
    if (entry == nullptr) {
        return false;
    }
    const DriveName name{entry->root, entry->adapter, entry->pathId, entry->target, entry->lun};
    const OpenResult held = platform_.HoldDrive(name, device.DriveHandle());
    if (held.handle != kInvalidHandle) {
        jobHolds_[job] = held.handle;
        return true;
    }
    std::string message(text::kDriveBusyStart);
    message += driveName(*entry);
    if (held.error == kErrorBusy) {
        message += text::kDriveBusyEnd;
    } else {
        message += text::kDriveNotHeld;
        message += " (system error " + std::to_string(held.error) + ")";
    }
    // An error, not a warning to act on and retry: this job has failed, nothing was changed.
    toolkit_.messageDialog(ui::DialogType::Error, message, ui::DialogButtons::Ok);
    return false;
}

// A job's device object: the master's list copied in, the job's drive selected. A job whose
// drive cannot be selected has no bank either, and fails without a worker.
bool TZelfinMain::prepareJob(int job, int16_t driveIndex) {
    jobDrives_[job].drive = driveIndex; // named in the run's report even if it never starts
    try {
        jobDevices[job] = std::make_unique<AtapiDevice>(platform_, false);
    } catch (const std::bad_alloc&) {
        jobNotStarted[job] = true;
        return false;
    }
    masterDevice->CopyStateTo(jobDevices[job].get());
    if (terminating() || !jobDevices[job]->SelectDrive(driveIndex) || !holdDrive(job)) {
        jobNotStarted[job] = true;
        return false;
    }
    return true;
}

bool TZelfinMain::startJob(int job) {
    AtapiDevice& device = *jobDevices[job];
    const DriveEntry* entry =
        masterDevice->GetEntry(static_cast<unsigned>(device.GetCurrentIndex()));
    if (entry == nullptr) {
        return false;
    }
    const int bank = entry->groupIndex + 1;
    const std::optional<Bank> cut = package_.cutBank(bank);
    if (!cut) {
        return false;
    }
    state_.currentBank = *cut;
    JobDrive& expected = jobDrives_[job];
    expected.drive = device.GetCurrentIndex();
    expected.bank = bank;
    expected.download = cut->length == static_cast<uint32_t>(kDownloadImageLength);
    std::memcpy(expected.vendor, entry->vendorId, sizeof expected.vendor);
    std::memcpy(expected.product, entry->productId, sizeof expected.product);
    const std::string_view boot = bootCodeRevision({cut->data, cut->length});
    std::copy(boot.begin(), boot.end(), expected.bootRevision);
    const FlashJob flashJob{&device, state_.currentBank.data,
                            static_cast<int32_t>(state_.currentBank.length),
                            state_.settings.BOOTCODE != 0};
    if (state_.settings.CHKDISC == 1 && !discAndTrayCheck(device)) {
        return false;
    }
    if (terminating()) {
        return false;
    }
    // The worker's end comes back through the toolkit's queue, so the handler runs on the main
    // thread after the job body has returned.
    Parser::Start(
        flashJob, [this] { ParserTerminate(); },
        [&toolkit = toolkit_](Parser::Handler handler) {
            toolkit.runOnMainThread(std::move(handler));
        });
    ++runningJobs;
    return true;
}

// Repeats until the drive holds no disc and its tray is closed. It ends early, as a failed job,
// only when the drive stops answering altogether or the program is ending.
bool TZelfinMain::discAndTrayCheck(AtapiDevice& device) {
    lblMsg.setText(text::kCheckDiscTray);
    for (;;) {
        if (terminating()) {
            return false;
        }
        const bool discAbsent = device.IsDiscAbsent();
        if (discAbsent) {
            if (terminating()) {
                return false;
            }
            if (!device.IsTrayOpen()) {
                return true;
            }
        } else {
            lblMsg.setText(text::kTrayOut);
            device.EjectTray();
            if (noAnswer(device)) {
                return false;
            }
            device.WaitReady(kTrayWaitSeconds);
            if (device.SenseIs(kSenseNotReady, kAscMediumNotPresent)) {
                warn(text::kRemoveDisc);
            } else {
                warn(text::kDiscLocked);
            }
        }
        if (terminating()) {
            return false;
        }
        lblMsg.setText(text::kTrayIn);
        device.LoadTray();
        if (noAnswer(device)) {
            return false;
        }
        lblMsg.setText(text::kWaitingReady);
        device.WaitReady(kTrayWaitSeconds);
        if (device.IsTrayOpen()) {
            warn(text::kPushTrayIn);
        }
    }
}

void TZelfinMain::ParserTerminate() {
    --runningJobs;
    if (runningJobs > 0 || preparing_) {
        return;
    }
    finishRun();
}

// Destroys the job objects; the run failed if any job failed or never started.
void TZelfinMain::collectJobs() {
    runSucceeded = true;
    manualJobDrive_ = jobCount > 0 && jobDevices[0] ? jobDevices[0]->GetCurrentIndex() : -1;
    for (int k = 0; k < jobCount; ++k) {
        if (jobNotStarted[k] || (jobDevices[k] && jobDevices[k]->jobFailed != 0)) {
            runSucceeded = false;
        } else {
            jobDrives_[k].committed = true;
        }
        jobDevices[k].reset();
    }
}

void TZelfinMain::finishRun() {
    tmr.setEnabled(false);
    collectJobs();
    if (terminating()) {
        reportOutcomes();
        endRun();
        return;
    }
    pbar.setPosition(pbar.maximum());
    lblPercent.setText(text::kFullPercent);
    lblMsg.setText(text::kInquiry);
    toolkit_.processMessages();
    if (terminating()) {
        reportOutcomes();
        endRun();
        return;
    }
    refreshDriveList();
    endRun();
    cmdUpdate.setEnabled(true);
    cmdClose.setEnabled(true);
    for (int k = 0; k < jobCount; ++k) {
        runSucceeded = runSucceeded && jobFailure(k).empty();
    }
    reportOutcomes();

    if (!runSucceeded) {
        toolkit_.messageDialog(ui::DialogType::Error, text::kFlashFailed, ui::DialogButtons::Ok);
        endProgram();
        return;
    }
    lblMsg.setFontColour(ui::kNavy);
    lblMsg.setText(text::kDone);
    toolkit_.messageDialog(ui::DialogType::Information, text::kUpdated, ui::DialogButtons::Ok);
    lblMsg.setText("");
    cboDrivesChange();
    lblPercent.setText(text::kZeroPercent);
    pbar.setPosition(0);
    if (stopAfterRun_) {
        // Someone asked the program to end during the run: it does now, without asking more.
        endProgram();
    } else if (state_.settings.REBOOT != 0) {
        showRebootPrompt();
        endProgram();
    } else if (state_.settings.CLOSEAP != 0) {
        endProgram();
    }
}

void TZelfinMain::reportOutcomes() {
    if (report_ == nullptr) {
        return;
    }
    report_->jobs.clear();
    for (int k = 0; k < jobCount; ++k) {
        const std::string_view failure = jobFailure(k);
        report_->jobs.push_back(
            JobOutcome{jobDrives_[k].drive, failure.empty(), std::string(failure)});
    }
}

void TZelfinMain::refreshDriveList() {
    // One bound for the whole end of the run: the drives restart side by side.
    RunEndClock clock(masterDevice->generalWatch, kProgrammingReadyLimitSeconds);
    const uint32_t timeout = masterDevice->timeoutSeconds;
    if (state_.settings.AUTOMODE == 0) {
        const int selected = cboDrives.selectedIndex();
        // The user may have chosen another drive during the run: the programmed one must still
        // show what it now reports.
        if (manualJobDrive_ >= 0 && manualJobDrive_ != selected) {
            refreshDrive(manualJobDrive_, clock);
        }
        refreshDrive(static_cast<int16_t>(selected), clock);
        FillDriveList();
        cboDrives.select(selected);
    } else {
        for (unsigned i = 0; i < masterDevice->GetDriveCount(); ++i) {
            refreshDrive(static_cast<int16_t>(i), clock);
        }
        FillDriveList();
        masterDevice->CloseDrive();
    }
    masterDevice->SetTimeout(timeout);
}

// A drive whose job committed is asked until it answers as its bank says it will, or the bound
// has passed. Every other drive is read once, as after a scan.
void TZelfinMain::refreshDrive(int16_t drive, RunEndClock& clock) {
    const JobDrive* job = committedJobOf(drive);
    const bool answered = readAgain(drive, job != nullptr, clock);
    for (int k = 0; k < jobCount; ++k) {
        if (!jobNotStarted[k] && jobDrives_[k].drive == drive) {
            jobDrives_[k].answered = answered;
        }
    }
}

// After its commit a drive restarts: for a while it may give no answer, answer NOT READY or
// UNIT ATTENTION, fail INQUIRY, or still answer as the firmware it ran before. It is opened
// afresh for each try, once a second. No command may outlast the bound, so a hung drive cannot
// hold the window.
bool TZelfinMain::readAgain(int16_t drive, bool untilItsBank, RunEndClock& clock) {
    constexpr uint32_t kPollMilliseconds = 1000;
    constexpr double kLongestCommandSeconds = 10.0;
    for (int attempt = 1;; ++attempt) {
        masterDevice->SetTimeout(static_cast<uint32_t>(
            std::clamp(std::ceil(clock.left()), 1.0, kLongestCommandSeconds)));
        if (untilItsBank || attempt == 1) {
            masterDevice->SelectDrive(drive);
        }
        const bool read = masterDevice->RefreshIdentity(1);
        if (masterDevice->timedOut != 0) {
            clock.spent(masterDevice->timeoutSeconds);
        }
        if (read && (!untilItsBank || reportsItsBank(*committedJobOf(drive)))) {
            return true;
        }
        if (clock.left() <= 0.0 || terminating() ||
            (!untilItsBank && attempt >= kIdentityAttempts)) {
            return read;
        }
        if (untilItsBank) {
            platform_.Sleep(kPollMilliseconds);
            clock.spent(kPollMilliseconds / 1000.0);
        }
    }
}

const JobDrive* TZelfinMain::committedJobOf(int16_t drive) const {
    for (int k = 0; k < jobCount; ++k) {
        if (!jobNotStarted[k] && jobDrives_[k].committed && jobDrives_[k].drive == drive) {
            return &jobDrives_[k];
        }
    }
    return nullptr;
}

// The drive, as the list holds it now, answers with its own vendor and product and, on the
// write-buffer way, with its bank's new revision. A download rewrites the boot area and the
// start of the main firmware but not the main firmware's identity, so its revision is not
// known in advance; a drive that answers with the revision of the boot code it was given is
// running only that boot code.
bool TZelfinMain::reportsItsBank(const JobDrive& expected) const {
    const DriveEntry* entry = expected.drive < 0
                                  ? nullptr
                                  : masterDevice->GetEntry(static_cast<unsigned>(expected.drive));
    if (entry == nullptr) {
        return false;
    }
    const DriveIdentity before{fieldText(expected.vendor), fieldText(expected.product), {}};
    const DriveIdentity now{fieldText(entry->vendorId), fieldText(entry->productId),
                            fieldText(entry->revision)};
    if (expected.download) {
        const std::string_view boot = fieldText(expected.bootRevision);
        return now.vendor == before.vendor && now.product == before.product &&
               (boot.empty() || now.revision != boot);
    }
    return reportsBank(package_, expected.bank, before, now);
}

// Why job k did not update its drive, or empty when it did: it never started, its worker
// failed, or its drive was not read again after the run (the list then keeps the identity it
// had before, which proves nothing about the firmware it runs now) or does not answer as its
// bank says it will.
std::string_view TZelfinMain::jobFailure(int k) const {
    const JobDrive& job = jobDrives_[k];
    if (jobNotStarted[k]) {
        return "the job did not start (drive in use, no bank, or disc and tray check ended)";
    }
    if (!job.committed) {
        return "programming failed";
    }
    if (!job.answered) {
        return "the drive was not read again after the run";
    }
    if (!reportsItsBank(job)) {
        return "the drive does not answer as its bank says it will";
    }
    return {};
}

void TZelfinMain::showRebootPrompt() {
    TReboot reboot(toolkit_, platform_, *window_);
    reboot.ShowModal();
}

void TZelfinMain::tmrTimer() {
    if (platform_.StopHeld()) {
        lblMsg.setText(text::kStopHeld);
        if (pbar.position() != pbar.maximum()) {
            pbar.stepIt();
            lblPercent.setText(std::to_string(pbar.position() * 100 / pbar.maximum()) + " %");
        }
        return;
    }
    if (pbar.position() == pbar.maximum()) {
        lblMsg.setText(text::kProgrammingFull);
        return;
    }
    pbar.stepIt();
    const int position = pbar.position();
    lblPercent.setText(std::to_string(position * 100 / pbar.maximum()) + " %");
    lblMsg.setText(std::string(text::kProgramming) +
                   std::string(static_cast<std::size_t>(position % 10), '.'));
}

} // namespace zelfin::app
