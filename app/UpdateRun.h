#pragma once
// One update run, without the window: each job from the hold on its drive to the verdict on what
// the drive answers afterwards, the run's guards, and the counts the window shows. The window
// drives it, asks the user what only the user can answer, and shows the progress.

#include "device/AtapiDevice.h"
#include "device/Session.h"
#include "flash/FlashFailure.h"
#include "package/Package.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace zelfin::app {

class RunEndClock;

inline constexpr int kMaxJobs = 16;

enum class JobState : uint8_t {
    NotStarted, // no device object, drive not selected or held, no bank, or the check ended it
    Prepared,   // its drive is selected and held; no worker yet
    Running,
    Failed,    // its worker ended with a failure
    Committed, // its worker ended without one: proof of no more than a GOOD commit
};

struct Job {
    std::unique_ptr<AtapiDevice> device; // from its preparation until the run is collected
    JobState state = JobState::NotStarted;
    // What keeps the drive for the job, from before its first changing command until the
    // drives have been read again after the run.
    OsHandle hold = kInvalidHandle;
    // What the drive must answer once the run is over: the vendor and product it had, and its
    // bank's new revision.
    int16_t drive = -1; // in the master's list
    int bank = 0;
    bool download = false;
    char vendor[9]{}; // as the entry holds them, NUL-terminated
    char product[17]{};
    char bootRevision[5]{};    // what the bank's boot code reports; empty when it has none
    bool answered = false;     // its identity was read after the run
    FlashFailure flashFailure; // where its worker stopped, when it failed
    CommandResult lastCommand; // of the job's own device object, when the worker ended
    std::string mismatch;      // the first difference a read-back found
    CommandResult lastAnswer;  // to the last INQUIRY after the run
};

// Why a job could not be prepared.
struct HoldRefusal {
    const DriveEntry* entry = nullptr; // the drive someone else has; null: no hold was tried
    uint32_t error = 0;                // kErrorBusy: someone else has the drive
};

class UpdateRun {
public:
    // ending: whether the program is ending, when no drive operation may start.
    UpdateRun(Platform& platform, Session& session, AtapiDevice& master, const Package& package,
              std::function<bool()> ending)
        : platform_(platform), session_(session), master_(master), package_(package),
          ending_(std::move(ending)) {}
    ~UpdateRun() { end(); }
    UpdateRun(const UpdateRun&) = delete;
    UpdateRun& operator=(const UpdateRun&) = delete;

    // The guards go up before the first job touches a drive. The master lets go of its drive
    // first: its open handle would stand in the way of a job's volume lock.
    void begin();
    // After the drives have been read again: the job objects and holds go, then the guards.
    void end();
    bool begun() const { return begun_; }
    bool stopHeld() { return session_.StopHeld(); }
    // A request to end the program arrived during the last run: it ends once the run has.
    bool stopAfterRun() const { return stopAfterRun_; }

    // Forgets the last run's jobs.
    void clear();
    // A new job for `drive`: its own device object with the master's list, the drive selected
    // and held. A job that is not prepared has failed; when someone else holds its drive,
    // refusal names the drive and the reason.
    bool prepare(int16_t drive, HoldRefusal& refusal);
    // The job's bank cut from the package, and what its drive must answer afterwards. None: the
    // job fails without a worker.
    std::optional<Bank> assignBank(Job& job);
    void workerStarted() { ++runningJobs; }
    // True when this was the last worker of a run that is no longer starting jobs.
    bool workerEnded() { return --runningJobs == 0 && !preparing_; }
    void setPreparing(bool preparing) { preparing_ = preparing; }

    bool underWay() const { return preparing_ || runningJobs > 0; }
    int running() const { return runningJobs; }
    int count() const { return jobCount; }
    Job& job(int k) { return jobs_[static_cast<std::size_t>(k)]; }
    const Job& job(int k) const { return jobs_[static_cast<std::size_t>(k)]; }

    // Each worker's outcome; the job objects go. The drive of the first job, kept for the
    // refresh of a manual run.
    int16_t collect();
    // Reads `drive` again after the run: a drive whose job committed until it answers as its
    // bank says it will or the clock has run out, every other drive once.
    void readAgain(int16_t drive, RunEndClock& clock);
    // Why job k did not update its drive, naming the step and the command's outcome; empty
    // when it did.
    std::string failure(int k) const;
    bool succeeded() const;

private:
    bool hold(Job& job, HoldRefusal& refusal);
    bool readDrive(int16_t drive, const Job* committed, RunEndClock& clock);
    const Job* committedJobOf(int16_t drive) const;
    bool reportsItsBank(const Job& job) const;

    Platform& platform_;
    Session& session_;
    AtapiDevice& master_;
    const Package& package_;
    std::function<bool()> ending_;
    std::array<Job, kMaxJobs> jobs_{};
    int jobCount = 0;
    int runningJobs = 0;
    // True while the window is still starting jobs: a worker ending then ends no run.
    bool preparing_ = false;
    bool begun_ = false;
    bool stopAfterRun_ = false;
};

} // namespace zelfin::app
