#include "sync/Sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace zelfin::sync {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Shared {
    Mutex mutex;
    Signal signal;
    bool ready = false;
    ThreadId worker{};
};

// A worker started through the seam hands a flag over under the mutex and wakes the waiter.
TEST(Sync, DetachedThreadWakesTheWaiterUnderTheMutex) {
    Shared shared;
    ASSERT_TRUE(startDetached(
        [](void* argument) {
            auto& s = *static_cast<Shared*>(argument);
            sleepFor(20ms);
            Lock lock(s.mutex);
            s.worker = currentThread();
            s.ready = true;
            s.signal.notify(); // under the lock: the waiter may end the test once it sees ready
        },
        &shared));
    Lock lock(shared.mutex);
    EXPECT_TRUE(
        waitUntil(shared.signal, shared.mutex, Clock::now() + 10s, [&] { return shared.ready; }));
    EXPECT_NE(shared.worker, currentThread());
}

// A wake-up given before anyone waits is not lost, and a wait with nothing coming ends at its
// deadline rather than early or never.
TEST(Sync, WaitsEndOnANotifyGivenEarlierOrAtTheDeadline) {
    Shared shared;
    Lock lock(shared.mutex);
    shared.ready = true;
    shared.signal.notify();
    EXPECT_TRUE(
        waitUntil(shared.signal, shared.mutex, Clock::now() + 10s, [&] { return shared.ready; }));

    shared.ready = false;
    const auto start = Clock::now();
    EXPECT_FALSE(
        waitUntil(shared.signal, shared.mutex, start + 50ms, [&] { return shared.ready; }));
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 50ms);
    EXPECT_LT(waited, 5s);
}

// Two threads counting under the mutex lose no increment.
TEST(Sync, MutexKeepsConcurrentUpdatesWhole) {
    struct Counter {
        Mutex mutex;
        Signal done;
        long value = 0;
        int finished = 0;
    } counter;
    constexpr long kEach = 20000;
    auto body = [](void* argument) {
        auto& c = *static_cast<Counter*>(argument);
        for (long i = 0; i < kEach; ++i) {
            Lock lock(c.mutex);
            ++c.value;
        }
        Lock lock(c.mutex);
        ++c.finished;
        c.done.notify();
    };
    ASSERT_TRUE(startDetached(body, &counter));
    ASSERT_TRUE(startDetached(body, &counter));
    Lock lock(counter.mutex);
    ASSERT_TRUE(waitUntil(counter.done, counter.mutex, Clock::now() + 30s,
                          [&] { return counter.finished == 2; }));
    EXPECT_EQ(counter.value, 2 * kEach);
}

} // namespace
} // namespace zelfin::sync
