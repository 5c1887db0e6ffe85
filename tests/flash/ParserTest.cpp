#include "flash/Parser.h"
#include "FlashRig.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace zelfin::flashtest {
namespace {

// The main thread's message queue: workers post, the test drains.
class MainQueue {
public:
    Parser::PostToMainThread Poster() {
        return [this](Parser::Handler handler) {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(handler));
            ready_.notify_one();
        };
    }
    // Runs the next posted handler on this thread.
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

// A job device as the main window builds it: a copy of the master's state, its drive selected.
std::unique_ptr<AtapiDevice> JobDevice(FlashRig& rig, int16_t index) {
    auto job = std::make_unique<AtapiDevice>(rig.machine, false);
    rig.device->CopyStateTo(job.get());
    job->SelectDrive(index);
    return job;
}

TEST(Parser, RunsTheJobOnAWorkerAndHandsTheEndToTheMainThread) {
    FlashRig rig;
    auto job = JobDevice(rig, 0);
    MainQueue queue;
    const std::thread::id mainThread = std::this_thread::get_id();
    std::thread::id workerThread;
    std::thread::id handlerThread;
    int ended = 0;

    Parser::Start(
        FlashJob{job.get(), NewImage().data(), 1048576, true},
        [&] {
            handlerThread = std::this_thread::get_id();
            ++ended;
        },
        queue.Poster(), [&] { workerThread = std::this_thread::get_id(); });
    queue.RunNext();

    EXPECT_EQ(1, ended);
    EXPECT_EQ(mainThread, handlerThread);
    EXPECT_NE(mainThread, workerThread); // the pause pumped on the worker
    EXPECT_EQ(0, job->jobFailed);
    EXPECT_TRUE(rig.Committed());
}

TEST(Parser, JobsOnTwoDrivesRunTogetherAndAJobThatFailsAtOnceStillEnds) {
    FlashRig rig;
    sim::SimDrive& second = rig.machine.NewDrive("F");
    sim::SimFlash& secondFlash = sim::SimFlash::Install(second, kSst2Mbit, OldImage());
    rig.machine.AddOpticalLetter('F', second, {0, 0, 1, 0});
    rig.device->ScanDrives();
    auto first = JobDevice(rig, 0);
    auto other = JobDevice(rig, 1);
    AtapiDevice unselected(rig.machine, false); // no drive: every command is refused
    unselected.jobFailed = 7;

    MainQueue queue;
    int ended = 0;
    for (AtapiDevice* device : {first.get(), other.get(), &unselected}) {
        Parser::Start(
            FlashJob{device, NewImage().data(), 1048576, false}, [&] { ++ended; }, queue.Poster());
    }
    for (int i = 0; i < 3; ++i) {
        queue.RunNext();
    }

    EXPECT_EQ(3, ended);
    EXPECT_EQ(0, first->jobFailed);
    EXPECT_EQ(0, other->jobFailed);
    EXPECT_EQ(kJobFailed, unselected.jobFailed);
    EXPECT_EQ(1u, rig.flash.Commits());
    EXPECT_EQ(1u, secondFlash.Commits());
}

TEST(Parser, AJobWhoseThreadCannotStartFailsAndStillEnds) {
    FlashRig rig;
    auto job = JobDevice(rig, 0);
    rig.machine.SetThreadCreationFails(true);
    MainQueue queue;
    int ended = 0;
    Parser::Start(
        FlashJob{job.get(), NewImage().data(), 1048576, true}, [&] { ++ended; }, queue.Poster());
    queue.RunNext();

    EXPECT_EQ(1, ended);
    EXPECT_EQ(kJobFailed, job->jobFailed);
    EXPECT_TRUE(rig.Sent().empty());
}

TEST(Parser, RefusesAJobWithoutItsEndHandler) {
    FlashRig rig;
    MainQueue queue;
    const FlashJob job{rig.device.get(), NewImage().data(), 1048576, true};
    EXPECT_THROW(Parser::Start(job, {}, queue.Poster()), std::invalid_argument);
    EXPECT_THROW(Parser::Start(job, [] {}, {}), std::invalid_argument);
    EXPECT_TRUE(rig.Sent().empty());
}

} // namespace
} // namespace zelfin::flashtest
