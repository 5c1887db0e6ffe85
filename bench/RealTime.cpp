#include "RealTime.h"

#include "BenchRig.h"

#include "device/AtapiDevice.h"
#include "flash/Parser.h"
#include "flash/Programming.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zelfin::bench {
namespace {

// Wall and processor time (the whole process, every thread) of one stretch of work.
class Stopwatch {
public:
    Stopwatch() : wall_(std::chrono::steady_clock::now()), cpu_(std::clock()) {}
    double WallSeconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count();
    }
    double CpuSeconds() const { return static_cast<double>(std::clock() - cpu_) / CLOCKS_PER_SEC; }

private:
    std::chrono::steady_clock::time_point wall_;
    std::clock_t cpu_;
};

// What the drive itself takes for the commands it received, plus the pause before the commit.
double DriveSeconds(const sim::SimDrive& drive) {
    double seconds = kCommitPauseSeconds;
    for (const sim::TranscriptRecord& record : drive.Transcript()) {
        seconds += record.seconds;
    }
    return seconds;
}

// The main thread's queue: workers post their end, the main thread runs it.
class MainQueue {
public:
    Parser::PostToMainThread Poster() {
        return [this](Parser::Handler handler) {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(handler));
            ready_.notify_one();
        };
    }
    void RunNext() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return !queue_.empty(); });
        Parser::Handler handler = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        handler();
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Parser::Handler> queue_;
};

struct Timed {
    double wall = 0.0;
    double cpu = 0.0;
    double drive = 0.0; // the slowest drive's own time
    bool ok = false;
};

// `drives` jobs started together as automatic mode starts them, timed from the first job
// device to the last end-of-job handler. The machine and the start-up scan are set-up.
Timed Automatic(int drives, double costScale) {
    BenchRig rig(drives, costScale);
    AtapiDevice master(rig.machine, true);
    for (sim::SimDrive* drive : rig.drives) {
        drive->ClearTranscript();
    }
    std::vector<std::unique_ptr<AtapiDevice>> jobs;
    jobs.reserve(static_cast<std::size_t>(drives));
    MainQueue queue;
    int failed = 0;
    rig.machine.SetClockMode(sim::ClockMode::Real);
    const Stopwatch watch;
    for (int i = 0; i < drives; ++i) {
        jobs.push_back(std::make_unique<AtapiDevice>(rig.machine, false));
        master.CopyStateTo(jobs.back().get());
        jobs.back()->SelectDrive(static_cast<int16_t>(i));
        AtapiDevice* job = jobs.back().get();
        Parser::Start(
            FlashJob{job, NewImage().data(), kImageBytes, true},
            [job, &failed] { failed += job->jobFailed != 0 ? 1 : 0; }, queue.Poster());
    }
    for (int i = 0; i < drives; ++i) {
        queue.RunNext();
    }
    Timed timed{watch.WallSeconds(), watch.CpuSeconds(), 0.0, failed == 0};
    rig.machine.SetClockMode(sim::ClockMode::Virtual);
    for (const sim::SimDrive* drive : rig.drives) {
        timed.drive = std::max(timed.drive, DriveSeconds(*drive));
    }
    return timed;
}

} // namespace

void AddDriveBoundFigures(const RunOptions& options, Report& report) {
    BenchRig rig(1, options.costScale);
    AtapiDevice device(rig.machine, true);
    device.SelectDrive(0);
    rig.drives[0]->ClearTranscript();
    rig.machine.SetClockMode(sim::ClockMode::Real);
    const Stopwatch watch;
    RunFlashJob(FlashJob{&device, NewImage().data(), kImageBytes, true});
    const double wall = watch.WallSeconds();
    const double cpu = watch.CpuSeconds();
    rig.machine.SetClockMode(sim::ClockMode::Virtual);
    if (device.jobFailed != 0) {
        report.Missing("the drive-bound job (it failed)");
        return;
    }
    report.figures.push_back({"drive_bound_wall_s", "s", wall, DriveSeconds(*rig.drives[0]), 1.02,
                              "one 1 MiB job vs the drive's own time (commands + 3 s pause)"});
    report.figures.push_back(
        {"drive_bound_cpu_s", "s", cpu, wall, 0.01, "processor time of the job vs its wall time"});
}

void AddAutomaticFigures(const RunOptions& options, Report& report) {
    const std::vector<int> counts =
        options.quick ? std::vector<int>{1, 2} : std::vector<int>{1, 2, 4, 8, 16};
    double one = 0.0;
    for (const int drives : counts) {
        const Timed timed = Automatic(drives, options.costScale);
        if (!timed.ok) {
            report.Missing("automatic mode (a job failed)");
            continue;
        }
        if (drives == 1) {
            one = timed.wall;
        }
        const std::string name = "automatic_" + std::to_string(drives);
        report.figures.push_back({name + "_wall_s", "s", timed.wall, one, 1.05,
                                  std::to_string(drives) +
                                      " drives at once vs one drive (the "
                                      "slowest drive's own time: " +
                                      std::to_string(timed.drive) + " s)"});
        report.figures.push_back(
            {name + "_cpu_s", "s", timed.cpu, timed.wall, 0.01,
             "processor time vs wall time, " + std::to_string(drives) + " drives"});
    }
}

} // namespace zelfin::bench
