#pragma once
// The main window: start-up, the drive list, the Update command with its progress display and
// the end of a run.

#include "app/ProcessState.h"
#include "app/RunReport.h"
#include "app/UpdateRun.h"
#include "device/AtapiDevice.h"
#include "device/Session.h"
#include "package/Package.h"
#include "package/PackageSeal.h"
#include "ui/Controls.h"
#include "ui/Toolkit.h"
#include "ui/ZelfinWindows.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zelfin::app {

inline constexpr int kRunSteps = 330;

class TZelfinMain final : public ui::WindowEvents {
public:
    // Builds the window and runs the whole start-up; the toolkit is terminated when start-up
    // ends the program.
    // session: the holds, guards and restart around a run on that platform's machine.
    // seal: the digests written with the block; a block that does not match them ends start-up
    // before any drive is opened.
    // report: when given, kept up to date with the drive list and the last run's outcomes.
    TZelfinMain(ui::Toolkit& toolkit, Platform& platform, Session& session,
                const PackageBlock& block, const PackageSeal& seal, RunReport* report = nullptr,
                CommandObserver* observer = nullptr);
    ~TZelfinMain();
    TZelfinMain(const TZelfinMain&) = delete;
    TZelfinMain& operator=(const TZelfinMain&) = delete;

    void show();

    // Handlers.
    void cboDrivesChange();
    void cmdUpdateClick();
    void ParserTerminate();
    void tmrTimer();
    void cmdCloseClick();
    void FormDestroy();

    // A run is being prepared or has workers that have not ended yet.
    bool runUnderWay() const { return run_ && run_->underWay(); }
    int workersRunning() const { return run_ ? run_->running() : 0; }
    bool lastRunSucceeded() const { return runSucceeded; }
    const ProcessState& processState() const { return state_; }
    const AtapiDevice* master() const { return masterDevice.get(); }

private:
    // ui::WindowEvents
    void controlClicked(ui::ControlId control) override;
    void selectionChanged(ui::ControlId control) override;
    void timerFired(ui::ControlId timer) override;

    void startUpSequence();
    void waitForRunningJobs();
    void startUpDriveChecks();
    void FillDriveList();
    void checkAllDrives();
    int countUpdatableDrives() const;
    std::string noticeText() const;

    void prepareJob(int16_t driveIndex);
    void beginRun();
    void endRun();
    bool startJob(Job& job);
    bool discAndTrayCheck(AtapiDevice& device);
    void finishRun();
    void reportOutcomes();
    void refreshDriveList(int16_t jobDrive);
    void showRebootPrompt();

    bool terminating() const { return toolkit_.terminated(); }
    void endProgram() { toolkit_.terminate(); }
    void warn(std::string_view text);

    ui::Toolkit& toolkit_;
    Platform& platform_;
    Session& session_;
    Package package_;
    const PackageSeal& seal_;
    RunReport* report_;
    CommandObserver* observer_;
    ProcessState state_;
    std::unique_ptr<ui::Window> window_;

    ui::Label Label1;
    ui::Label lblMsg;
    ui::Label lblPercent;
    ui::Label lblUpdateMsg;
    ui::Label lblNewFW;
    ui::Label lblOldFW;
    ui::Label lblTo;
    ui::DropDownList cboDrives;
    ui::ProgressBar pbar;
    ui::PushButton cmdUpdate;
    ui::PushButton cmdClose;
    ui::Timer tmr;

    std::unique_ptr<AtapiDevice> masterDevice;
    // From the master's creation on; the jobs of the run under way or of the last one.
    std::unique_ptr<UpdateRun> run_;
    bool runSucceeded = false;
    std::string detectedDrivesText;
    bool destroyed_ = false;
};

} // namespace zelfin::app
