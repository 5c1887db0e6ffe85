// The threading primitives on Win32: critical sections, auto-reset events and threads started
// through the C runtime, all present from Windows 95 and NT 4.0 on.
#include "sync/Sync.h"

#include <windows.h>

#include <process.h>

#include <algorithm>
#include <new>
#include <stdexcept>

namespace zelfin::sync {

namespace {

CRITICAL_SECTION* Section(unsigned char* storage) {
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

struct Start {
    void (*entry)(void*);
    void* argument;
};

unsigned __stdcall RunThread(void* start) {
    const Start s = *static_cast<Start*>(start);
    delete static_cast<Start*>(start);
    s.entry(s.argument);
    return 0;
}

DWORD Milliseconds(std::chrono::nanoseconds duration) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(duration).count();
    return static_cast<DWORD>(std::clamp<long long>(ms, 0, INFINITE - 1));
}

} // namespace

Mutex::Mutex() {
    static_assert(sizeof(section_) >= sizeof(CRITICAL_SECTION));
    static_assert(alignof(CRITICAL_SECTION) <= 8);
    InitializeCriticalSection(Section(section_));
}

Mutex::~Mutex() {
    DeleteCriticalSection(Section(section_));
}

void Mutex::lock() {
    EnterCriticalSection(Section(section_));
}

void Mutex::unlock() {
    LeaveCriticalSection(Section(section_));
}

Signal::Signal() : event_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
    if (event_ == nullptr) {
        throw std::runtime_error("sync: CreateEventA failed");
    }
}

Signal::~Signal() {
    CloseHandle(event_);
}

void Signal::notify() {
    SetEvent(event_);
}

void Signal::waitFor(Mutex& held, std::chrono::milliseconds limit) {
    held.unlock();
    WaitForSingleObject(event_, Milliseconds(limit));
    held.lock();
}

ThreadId currentThread() {
    return GetCurrentThreadId();
}

void sleepFor(std::chrono::nanoseconds duration) {
    Sleep(Milliseconds(duration));
}

bool startDetached(void (*entry)(void*), void* argument) {
    auto* start = new (std::nothrow) Start{entry, argument};
    if (start == nullptr) {
        return false;
    }
    const uintptr_t thread = _beginthreadex(nullptr, 0, RunThread, start, 0, nullptr);
    if (thread == 0) {
        delete start;
        return false;
    }
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}

} // namespace zelfin::sync
