// The Update command, the disc and tray check, the progress display and the end of a run.
#include "app/DriveLine.h"
#include "app/RunEndClock.h"
#include "app/TReboot.h"
#include "app/TZelfinMain.h"
#include "app/Texts.h"
#include "flash/Parser.h"
#include "flash/Programming.h"
#include "package/FieldText.h"

#include <algorithm>
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

} // namespace

void TZelfinMain::cmdUpdateClick() {
    if (terminating() || runUnderWay()) {
        return;
    }
    run_->clear();
    run_->setPreparing(true);
    if (report_ != nullptr) {
        report_->drivesBefore = report_->drives;
    }
    if (state_.settings.AUTOMODE != 0) {
        beginRun();
        for (unsigned i = 0; i < masterDevice->GetDriveCount() && run_->count() < kMaxJobs; ++i) {
            const DriveEntry* entry = masterDevice->GetEntry(i);
            if (entry != nullptr && entry->present == 1 && entry->eligible == 1) {
                prepareJob(static_cast<int16_t>(i));
            }
        }
    } else {
        const int selected = cboDrives.selectedIndex();
        const DriveEntry* entry =
            selected < 0 ? nullptr : masterDevice->GetEntry(static_cast<unsigned>(selected));
        if (entry != nullptr && entry->upToDate == 1 && state_.settings.N2OMESSAGE != 0) {
            if (toolkit_.messageDialog(ui::DialogType::Warning, text::kAlreadyUpToDate,
                                       ui::DialogButtons::YesNo) != ui::DialogAnswer::Yes) {
                run_->setPreparing(false);
                endProgram();
                return;
            }
        }
        beginRun();
        prepareJob(static_cast<int16_t>(selected));
    }

    for (int k = 0; k < run_->count(); ++k) {
        Job& job = run_->job(k);
        if (job.state == JobState::Prepared && !startJob(job)) {
            job.state = JobState::NotStarted;
        }
    }
    run_->setPreparing(false);

    if (run_->running() > 0) {
        pbar.setMinimum(0);
        pbar.setMaximum(kRunSteps);
        pbar.setStep(1);
        tmr.setEnabled(true);
        cmdUpdate.setEnabled(false);
        cmdClose.setEnabled(false);
        lblMsg.setFontColour(ui::kMaroon);
    } else if (run_->count() > 0) {
        // Every job failed before its worker started, or every worker has already ended. With
        // no job at all (automatic mode, no drive left to update) nothing was flashed and there
        // is no result to report: the window stays idle.
        finishRun();
    } else {
        endRun();
    }
}

void TZelfinMain::beginRun() {
    if (!run_->begun()) {
        run_->begin();
        toolkit_.setRunUnderWay(true);
    }
}

void TZelfinMain::endRun() {
    if (run_ && run_->begun()) {
        run_->end();
        toolkit_.setRunUnderWay(false);
    }
}

// A drive someone else has fails its job, with a message that says what to do; the other jobs
// go on.
void TZelfinMain::prepareJob(int16_t driveIndex) {
    HoldRefusal refusal;
    if (run_->prepare(driveIndex, refusal) || refusal.entry == nullptr) {
        return;
    }
    std::string message(text::kDriveBusyStart);
    message += driveName(*refusal.entry);
    if (refusal.error == kErrorBusy) {
        message += text::kDriveBusyEnd;
    } else {
        message += text::kDriveNotHeld;
        message += " (system error " + std::to_string(refusal.error) + ")";
    }
    // An error, not a warning to act on and retry: this job has failed, nothing was changed.
    toolkit_.messageDialog(ui::DialogType::Error, message, ui::DialogButtons::Ok);
}

bool TZelfinMain::startJob(Job& job) {
    const std::optional<Bank> cut = run_->assignBank(job);
    if (!cut) {
        return false;
    }
    state_.currentBank = *cut;
    AtapiDevice& device = *job.device;
    const FlashJob flashJob{&device, state_.currentBank.data,
                            static_cast<int32_t>(state_.currentBank.length),
                            state_.settings.BOOTCODE != 0, &job.flashFailure};
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
    job.state = JobState::Running;
    run_->workerStarted();
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
    if (run_->workerEnded()) {
        finishRun();
    }
}

void TZelfinMain::finishRun() {
    tmr.setEnabled(false);
    const int16_t jobDrive = run_->collect();
    if (!terminating()) {
        pbar.setPosition(pbar.maximum());
        lblPercent.setText(text::kFullPercent);
        lblMsg.setText(text::kInquiry);
        toolkit_.processMessages();
    }
    if (terminating()) {
        runSucceeded = false; // its drives were not read again
        reportOutcomes();
        endRun();
        return;
    }
    refreshDriveList(jobDrive);
    endRun();
    cmdUpdate.setEnabled(true);
    cmdClose.setEnabled(true);
    runSucceeded = run_->succeeded();
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
    if (run_->stopAfterRun()) {
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
    for (int k = 0; k < run_->count(); ++k) {
        const std::string failure = run_->failure(k);
        report_->jobs.push_back(
            JobOutcome{run_->job(k).drive, failure.empty(), std::string(failure)});
    }
}

// jobDrive: the drive a manual run programmed.
void TZelfinMain::refreshDriveList(int16_t jobDrive) {
    // One bound for the whole end of the run: the drives restart side by side.
    RunEndClock clock(masterDevice->generalWatch, kProgrammingReadyLimitSeconds);
    const uint32_t timeout = masterDevice->timeoutSeconds;
    if (state_.settings.AUTOMODE == 0) {
        const int selected = cboDrives.selectedIndex();
        // The user may have chosen another drive during the run: the programmed one must still
        // show what it now reports.
        if (jobDrive >= 0 && jobDrive != selected) {
            run_->readAgain(jobDrive, clock);
        }
        run_->readAgain(static_cast<int16_t>(selected), clock);
        FillDriveList();
        cboDrives.select(selected);
    } else {
        for (unsigned i = 0; i < masterDevice->GetDriveCount(); ++i) {
            run_->readAgain(static_cast<int16_t>(i), clock);
        }
        FillDriveList();
        masterDevice->CloseDrive();
    }
    masterDevice->SetTimeout(timeout);
}

void TZelfinMain::showRebootPrompt() {
    TReboot reboot(toolkit_, session_, *window_);
    reboot.ShowModal();
}

void TZelfinMain::tmrTimer() {
    if (run_->stopHeld()) {
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
