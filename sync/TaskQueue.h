#pragma once
// Tasks that any thread hands to the main thread, run there in the order they came: what each
// toolkit's "run on the main thread" queues, whatever way it then wakes its message loop.
#include "sync/Sync.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <utility>

namespace zelfin::sync {

class TaskQueue {
public:
    using Task = std::function<void()>;

    // Queues a task, wakes a waiter, and calls wake() still under the lock: once the main thread
    // can take the task it may run it, end the program and destroy the queue's owner, so the
    // poster must be done with both by the time the lock is let go.
    template <typename Wake> void push(Task task, Wake&& wake) {
        Lock lock(mutex_);
        tasks_.push_back(std::move(task));
        ready_.notify();
        wake();
    }
    void push(Task task) {
        push(std::move(task), [] {});
    }

    // Runs the tasks queued so far on the calling thread; true when any ran.
    bool runQueued() {
        std::deque<Task> now;
        {
            Lock lock(mutex_);
            now.swap(tasks_);
        }
        for (Task& task : now) {
            task();
        }
        return !now.empty();
    }

    // True at once when a task is queued; otherwise waits for one until `deadline`.
    bool waitUntil(std::chrono::steady_clock::time_point deadline) {
        Lock lock(mutex_);
        return sync::waitUntil(ready_, mutex_, deadline, [this] { return !tasks_.empty(); });
    }

    std::size_t size() const {
        Lock lock(mutex_);
        return tasks_.size();
    }

private:
    mutable Mutex mutex_;
    Signal ready_;
    std::deque<Task> tasks_;
};

} // namespace zelfin::sync
