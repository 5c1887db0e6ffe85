#pragma once
// The main window: start-up, the drive list, the Update command with its progress display and
// the end of a run.

#include "app/ProcessState.h"
#include "app/RunReport.h"
#include "device/AtapiDevice.h"
#include "device/Session.h"
#include "package/Package.h"
#include "package/PackageSeal.h"
#include "ui/Controls.h"
#include "ui/Toolkit.h"
#include "ui/ZelfinWindows.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace zelfin::app {

class RunEndClock;

inline constexpr int kMaxJobs = 16;
inline constexpr int kRunSteps = 330;

// What each started job's drive must answer once the run is over: the vendor and product it
// had, and its bank's new revision. A commit that came back GOOD proves no more than that.
struct JobDrive {
    int16_t drive = -1;
    int bank = 0;
    bool download = false;
    char vendor[9]{}; // as the entry holds them, NUL-terminated
    char product[17]{};
    char bootRevision[5]{}; // what the bank's boot code reports; empty when it has none
    bool committed = false; // the worker ended without a failure
    bool answered = false;  // its identity was read after the run
};

class TZelfinMain final : public ui::WindowEvents {
public:
    // Builds the window and runs the whole start-up; the toolkit is terminated when start-up
    // ends the program.
    // session: the holds, guards and restart around a run on that platform's machine.
    // seal: the digests written with the block; a block that does not match them ends start-up
    // before any drive is opened.
    // report: when given, kept up to date with the drive list and the last run's outcomes.
    TZelfinMain(ui::Toolkit& toolkit, Platform& platform, Session& session,
                const PackageBlock& block, const PackageSeal& seal, RunReport* report = nullptr);
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
    bool runUnderWay() const { return preparing_ || runningJobs > 0; }
    int workersRunning() const { return runningJobs; }
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

    bool prepareJob(int job, int16_t driveIndex);
    bool holdDrive(int job);
    void beginRun();
    void endRun();
    bool startJob(int job);
    bool discAndTrayCheck(AtapiDevice& device);
    void finishRun();
    void collectJobs();
    void reportOutcomes();
    void refreshDriveList();
    void refreshDrive(int16_t drive, RunEndClock& clock);
    bool readAgain(int16_t drive, bool untilItsBank, RunEndClock& clock);
    const JobDrive* committedJobOf(int16_t drive) const;
    bool reportsItsBank(const JobDrive& expected) const;
    std::string_view jobFailure(int k) const;
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
    std::array<std::unique_ptr<AtapiDevice>, kMaxJobs> jobDevices;
    // A job that could not be started (no drive, no bank, tray check ended) failed.
    std::array<bool, kMaxJobs> jobNotStarted{};
    std::array<JobDrive, kMaxJobs> jobDrives_{};
    // What keeps each job's drive for it, from before its first changing command until the
    // drives have been read again after the run.
    std::array<OsHandle, kMaxJobs> jobHolds_{};
    // Between beginRun and endRun: the session's guards are up.
    bool runBegun_ = false;
    // A request to end the program arrived during the run: it ends once the run has.
    bool stopAfterRun_ = false;
    // The drive a manual run programmed, kept past its job object for the refresh at the end.
    int16_t manualJobDrive_ = -1;
    int32_t jobCount = 0;
    int32_t runningJobs = 0;
    bool runSucceeded = false;
    std::string detectedDrivesText;
    // True while cmdUpdateClick is still starting jobs: a worker ending then ends no run.
    bool preparing_ = false;
    bool destroyed_ = false;
};

} // namespace zelfin::app
