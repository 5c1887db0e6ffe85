// Version, memory, clock, threads, and the Windows services Linux does not have.
#include "platforms/linux/LinuxPlatform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/utsname.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace zelfin::linuxos {

LinuxPlatform::LinuxPlatform()
    : own_(std::make_unique<SystemCalls>()), calls_(own_.get()), root_() {
}

LinuxPlatform::LinuxPlatform(LinuxCalls& calls, std::string root)
    : calls_(&calls), root_(std::move(root)) {
}

bool LinuxPlatform::GetVersionEx(OsVersionInfo& info) {
    // Pass-through is the transport: the system counts as the NT family.
    info = OsVersionInfo{};
    info.platformId = kVerPlatformWin32Nt;
    utsname name{};
    if (uname(&name) == 0) {
        unsigned major = 0;
        unsigned minor = 0;
        if (std::sscanf(name.release, "%u.%u", &major, &minor) == 2) {
            info.majorVersion = major;
            info.minorVersion = minor;
        }
    }
    return true;
}

void* LinuxPlatform::HeapAllocZeroed(std::size_t bytes) {
    return std::calloc(1, bytes);
}

void LinuxPlatform::HeapFree(void* block) {
    std::free(block);
}

// No Windows folders exist here: no program or system folder to look for a library in.
uint32_t LinuxPlatform::GetModuleFileName(char*, uint32_t) {
    return 0;
}

uint32_t LinuxPlatform::GetSystemDirectory(char*, uint32_t) {
    return 0;
}

// No ASPI manager exists here: the library is never found, so nothing calls its entry points.
OsModule LinuxPlatform::LoadLibrary(const char*) {
    return 0;
}

ProcAddress LinuxPlatform::GetProcAddress(OsModule, const char*) {
    return 0;
}

void LinuxPlatform::FreeLibrary(OsModule) {
}

uint32_t LinuxPlatform::CallGetASPI32SupportInfo(ProcAddress) {
    return uint32_t{kSsNoAspi} << 8;
}

uint32_t LinuxPlatform::CallSendASPI32Command(ProcAddress, void*, const AspiRequestRefs&) {
    return kSsNoAspi;
}

// Completion events belong to ASPI requests only.
OsHandle LinuxPlatform::CreateEvent() {
    return kNullHandle;
}

uint32_t LinuxPlatform::WaitForSingleObject(OsHandle, uint32_t) {
    return kWaitTimeout;
}

bool LinuxPlatform::QueryPerformanceFrequency(int64_t& frequency) {
    frequency = 1'000'000'000;
    return true;
}

int64_t LinuxPlatform::QueryPerformanceCounter() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

void LinuxPlatform::Sleep(uint32_t milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1'000'000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

int LinuxPlatform::MessageBox(const char* text, const char* caption, uint32_t) {
    std::fprintf(stderr, "%s\n%s\n", caption, text);
    return 1; // IDOK
}

bool LinuxPlatform::CreateThread(ThreadEntry entry, void* argument) {
    try {
        std::thread(entry, argument).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

} // namespace zelfin::linuxos
