#include "sync/Sync.h"

#include <system_error>
#include <thread>

namespace zelfin::sync {

ThreadId currentThread() {
    return std::this_thread::get_id();
}

void sleepFor(std::chrono::nanoseconds duration) {
    std::this_thread::sleep_for(duration);
}

bool startDetached(void (*entry)(void*), void* argument) {
    try {
        std::thread([entry, argument] { entry(argument); }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

} // namespace zelfin::sync
