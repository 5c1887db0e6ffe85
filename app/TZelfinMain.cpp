#include "app/TZelfinMain.h"

#include "app/DriveLine.h"
#include "app/PackageRefusal.h"
#include "app/Texts.h"
#include "package/Eligibility.h"
#include "package/FieldText.h"

#include <new>

namespace zelfin::app {
namespace {

using ui::MainControl;

} // namespace

TZelfinMain::TZelfinMain(ui::Toolkit& toolkit, Platform& platform, Session& session,
                         const PackageBlock& block, const PackageSeal& seal, RunReport* report,
                         CommandObserver* observer)
    : toolkit_(toolkit), platform_(platform), session_(session), package_(block), seal_(seal),
      report_(report), observer_(observer),
      window_(toolkit.createWindow(ui::kZelfinMainWindow, *this, nullptr)),
      Label1(*window_, idOf(MainControl::Label1)), lblMsg(*window_, idOf(MainControl::lblMsg)),
      lblPercent(*window_, idOf(MainControl::lblPercent)),
      lblUpdateMsg(*window_, idOf(MainControl::lblUpdateMsg)),
      lblNewFW(*window_, idOf(MainControl::lblNewFW)),
      lblOldFW(*window_, idOf(MainControl::lblOldFW)), lblTo(*window_, idOf(MainControl::lblTo)),
      cboDrives(*window_, idOf(MainControl::cboDrives)), pbar(*window_, idOf(MainControl::pbar)),
      cmdUpdate(*window_, idOf(MainControl::cmdUpdate)),
      cmdClose(*window_, idOf(MainControl::cmdClose)), tmr(*window_, idOf(MainControl::tmr)) {
    try {
        startUpSequence();
    } catch (...) {
        // In automatic mode workers may already be running; the destructor will not run, so
        // their device objects must not go before they do. The program is ending: no drive
        // operation starts after this.
        endProgram();
        waitForRunningJobs();
        endRun();
        throw;
    }
}

TZelfinMain::~TZelfinMain() {
    waitForRunningJobs();
    // A program that ends in the middle of a run (its jobs have ended by now) lets go of the
    // drives and the system's guards.
    endRun();
    FormDestroy();
}

void TZelfinMain::waitForRunningJobs() {
    // A job's device object must outlive its worker: the ends of the jobs still running come
    // in before the window goes.
    while (workersRunning() > 0) {
        toolkit_.waitForMessages();
        toolkit_.processMessages();
    }
}

void TZelfinMain::show() {
    window_->show();
}

void TZelfinMain::startUpSequence() {
    window_->setCaption(package_.windowTitle());
    state_.settings = package_.decodeSettings();
    state_.currentBank = package_.initialBank();
    if (const std::string_view refusal = packageRefusal(package_.block(), seal_);
        !refusal.empty()) {
        toolkit_.messageDialog(ui::DialogType::Error, refusal, ui::DialogButtons::Ok);
        endProgram();
        return;
    }
    lblMsg.setText("");
    lblPercent.setText(text::kZeroPercent);
    pbar.setPosition(0);
    startUpDriveChecks();
}

void TZelfinMain::startUpDriveChecks() {
    try {
        masterDevice = std::make_unique<AtapiDevice>(platform_, true, 0, observer_);
        run_ = std::make_unique<UpdateRun>(platform_, session_, *masterDevice, package_,
                                           [this] { return terminating(); });
    } catch (const std::bad_alloc&) {
        toolkit_.systemBox(text::kDeviceInitFailed, text::kSystemBoxCaption, ui::kStopIconOk);
        endProgram();
        toolkit_.processMessages();
        return;
    }
    if (masterDevice->lastOsError == kErrorAccessDenied) {
        toolkit_.systemBox(text::kAccessDenied, text::kSystemBoxCaption, ui::kStopIconOk);
        endProgram();
        toolkit_.processMessages();
        return;
    }
    FillDriveList();
    masterDevice->CloseDrive();
    cboDrivesChange();

    if (countUpdatableDrives() == 0) {
        std::string message(text::kNoMatchedDrive);
        message += text::kOnlyFor;
        message += package_.driveName();
        message += text::kDriveEnd;
        message += text::kDetectedDrives;
        message += detectedDrivesText;
        toolkit_.messageDialog(ui::DialogType::Error, message, ui::DialogButtons::Ok);
        endProgram();
        return;
    }
    if (state_.settings.WARNING == 1) {
        if (toolkit_.messageDialog(ui::DialogType::Warning, noticeText(),
                                   ui::DialogButtons::YesNo) != ui::DialogAnswer::Yes) {
            endProgram();
            return;
        }
    }
    // The window is closed through cmdClose only: position 5 twice takes the separator and
    // the Close command out of the standard window menu, and the close box goes with them.
    if (window_->hasWindowMenu()) {
        window_->removeWindowMenuItem(5);
        window_->removeWindowMenuItem(5);
    }
    if (state_.settings.AUTOMODE != 0) {
        cmdUpdateClick();
    }
}

std::string TZelfinMain::noticeText() const {
    std::string notice(text::kNoticeOnlySupports);
    notice += package_.driveName();
    notice += text::kDriveEnd;
    notice += text::kNoticeHeading;
    notice += text::kNoticePoint1;
    notice += text::kNoticePoint2;
    if (state_.settings.NBWARNING == 1) {
        notice += text::kNoticePoint3;
    }
    notice += text::kNoticeQuestion;
    return notice;
}

int TZelfinMain::countUpdatableDrives() const {
    int count = 0;
    for (unsigned i = 0; i < masterDevice->GetDriveCount(); ++i) {
        const DriveEntry* entry = masterDevice->GetEntry(i);
        if (entry != nullptr && entry->present == 1 && entry->eligible == 1) {
            ++count;
        }
    }
    return count;
}

void TZelfinMain::FillDriveList() {
    cboDrives.clear();
    detectedDrivesText.clear();
    for (unsigned i = 0; i < masterDevice->GetDriveCount(); ++i) {
        const DriveEntry* entry = masterDevice->GetEntry(i);
        if (entry == nullptr) {
            continue;
        }
        const std::string line = formatDriveLine(*entry);
        detectedDrivesText += line;
        detectedDrivesText += '\n';
        cboDrives.add(line);
    }
    checkAllDrives();
    if (report_ != nullptr) {
        report_->drives.clear();
        for (unsigned i = 0; i < masterDevice->GetDriveCount(); ++i) {
            if (const DriveEntry* entry = masterDevice->GetEntry(i)) {
                report_->drives.push_back(*entry);
            }
        }
    }
    for (unsigned i = 0; i < masterDevice->GetDriveCount(); ++i) {
        const DriveEntry* entry = masterDevice->GetEntry(i);
        if (entry != nullptr && entry->present != 0 && entry->eligible != 0) {
            cboDrives.select(static_cast<int>(i));
            break;
        }
    }
}

void TZelfinMain::checkAllDrives() {
    if (!masterDevice) {
        return;
    }
    for (unsigned i = 0; i < masterDevice->GetDriveCount(); ++i) {
        DriveEntry* entry = masterDevice->GetEntry(i);
        if (entry == nullptr) {
            continue;
        }
        const DriveIdentity identity{fieldText(entry->vendorId), fieldText(entry->productId),
                                     fieldText(entry->revision)};
        applyVerdict(*entry, judgeDrive(package_, state_.settings, entry->present, identity));
    }
}

void TZelfinMain::cboDrivesChange() {
    try {
        const int selected = cboDrives.selectedIndex();
        if (selected < 0 || !masterDevice) {
            return;
        }
        const DriveEntry* entry = masterDevice->GetEntry(static_cast<unsigned>(selected));
        if (entry == nullptr) {
            return;
        }
        if (entry->eligible == 0) {
            cmdUpdate.setEnabled(false);
            lblNewFW.setVisible(false);
            lblOldFW.setVisible(false);
            lblUpdateMsg.setText(text::kNotAllowed);
            lblUpdateMsg.setFontColour(ui::kMaroon);
            return;
        }
        if (!runUnderWay()) {
            cmdUpdate.setEnabled(true);
        }
        lblNewFW.setVisible(true);
        lblOldFW.setVisible(true);
        lblUpdateMsg.setText(text::kWillBeUpdated);
        lblUpdateMsg.setFontColour(ui::kBlack);
        lblTo.setFontColour(ui::kBlack);
        lblNewFW.setText(package_.newRevision(entry->groupIndex + 1));
        lblOldFW.setText(fieldText(entry->revision));
        // Once the program is ending no drive is opened any more.
        if (!terminating()) {
            masterDevice->SelectDrive(static_cast<int16_t>(selected));
        }
    } catch (...) {
        // What was already changed stays changed; the handler reports nothing.
    }
}

void TZelfinMain::FormDestroy() {
    if (destroyed_) {
        return;
    }
    destroyed_ = true;
    run_.reset();
    masterDevice.reset();
}

void TZelfinMain::cmdCloseClick() {
    endProgram();
}

void TZelfinMain::controlClicked(ui::ControlId control) {
    if (control == idOf(MainControl::cmdUpdate)) {
        cmdUpdateClick();
    } else if (control == idOf(MainControl::cmdClose)) {
        cmdCloseClick();
    }
}

void TZelfinMain::selectionChanged(ui::ControlId control) {
    if (control == idOf(MainControl::cboDrives)) {
        cboDrivesChange();
    }
}

void TZelfinMain::timerFired(ui::ControlId timer) {
    if (timer == idOf(MainControl::tmr)) {
        tmrTimer();
    }
}

void TZelfinMain::warn(std::string_view message) {
    toolkit_.messageDialog(ui::DialogType::Warning, message, ui::DialogButtons::Ok);
}

} // namespace zelfin::app
