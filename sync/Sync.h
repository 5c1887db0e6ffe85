#pragma once
// The few threading primitives the simulator and the toolkits need, without std::thread,
// std::mutex or std::condition_variable: a release build for old Windows has none of them. On
// Windows they are made of critical sections and auto-reset events (platforms/win32); elsewhere
// they wrap the standard ones.
#include <chrono>
#include <cstdint>

#if !defined(_WIN32)
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace zelfin::sync {

#if defined(_WIN32)

// A critical section: the owning thread may take it again.
class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock();
    void unlock();

private:
    alignas(8) unsigned char section_[48]; // a CRITICAL_SECTION (24 bytes on i686, 40 on x86_64)
};
using RecursiveMutex = Mutex;

// Wakes the one thread that waits on it; a wake-up with nobody waiting is kept for the next wait.
class Signal {
public:
    Signal();
    ~Signal();
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    void notify();
    // Lets go of `held` (taken once by the caller), waits at most `limit`, takes it again. May
    // return early: callers check their condition in a loop.
    void waitFor(Mutex& held, std::chrono::milliseconds limit);

private:
    void* event_;
};

using ThreadId = unsigned long;

#else

class Mutex {
public:
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    std::mutex& native() { return mutex_; }

private:
    std::mutex mutex_;
};

class RecursiveMutex {
public:
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
};

class Signal {
public:
    void notify() { ready_.notify_one(); }
    void waitFor(Mutex& held, std::chrono::milliseconds limit) {
        std::unique_lock lock(held.native(), std::adopt_lock);
        ready_.wait_for(lock, limit);
        lock.release();
    }

private:
    std::condition_variable ready_;
};

using ThreadId = std::thread::id;

#endif

// Holds a mutex for a scope; unlock() and lock() let a wait in between.
template <class M> class Lock {
public:
    explicit Lock(M& mutex) : mutex_(mutex) { mutex_.lock(); }
    ~Lock() {
        if (held_) {
            mutex_.unlock();
        }
    }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void unlock() {
        mutex_.unlock();
        held_ = false;
    }
    void lock() {
        mutex_.lock();
        held_ = true;
    }

private:
    M& mutex_;
    bool held_ = true;
};

// Waits on `signal` with `held` taken until ready() holds or the deadline passes; ready().
template <class Ready>
bool waitUntil(Signal& signal, Mutex& held, std::chrono::steady_clock::time_point deadline,
               Ready ready) {
    while (!ready()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        signal.waitFor(held, std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
    }
    return true;
}

ThreadId currentThread();
void sleepFor(std::chrono::nanoseconds duration);
// Starts entry(argument) on a thread of its own that ends when entry returns. False when no
// thread could be started (entry is then never called).
bool startDetached(void (*entry)(void*), void* argument);

} // namespace zelfin::sync
