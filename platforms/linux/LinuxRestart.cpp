// The restart: the privilege steps become "may this process reboot", the request goes to the
// init system, which shuts down cleanly. The raw reboot system call is never made.
#include "platforms/linux/LinuxPlatform.h"

#include <cerrno>
#include <cstring>
#include <linux/capability.h>
#include <sys/stat.h>

namespace zelfin::linuxos {
namespace {

constexpr uint32_t kShutdownPrivilegeLuid = 19; // SE_SHUTDOWN_PRIVILEGE

// Tried in order; a program that is not there is skipped.
constexpr const char* kSystemdReboot[][3] = {{"/usr/bin/systemctl", "reboot", nullptr},
                                             {"/bin/systemctl", "reboot", nullptr}};
// Without -f, reboot asks init to go down.
constexpr const char* kInitReboot[][3] = {{"/sbin/reboot", nullptr, nullptr},
                                          {"/usr/sbin/reboot", nullptr, nullptr},
                                          {"/bin/reboot", nullptr, nullptr}};

template <std::size_t N> bool RunFirstPresent(LinuxCalls& calls, const char* const (&list)[N][3]) {
    for (const auto& argv : list) {
        const int status = calls.Run(argv);
        if (status != -ENOENT) {
            return status == 0;
        }
    }
    return false;
}

} // namespace

bool LinuxPlatform::OpenProcessToken(uint32_t, OsHandle& token) {
    token = kTokenHandle;
    return true;
}

bool LinuxPlatform::LookupPrivilegeValue(const char* name, Luid& luid) {
    if (name == nullptr || std::strcmp(name, "SeShutdownPrivilege") != 0) {
        return false;
    }
    luid = Luid{kShutdownPrivilegeLuid, 0};
    return true;
}

bool LinuxPlatform::AdjustTokenPrivileges(OsHandle token, const Luid& luid, uint32_t,
                                          uint32_t& lastError) {
    if (token != kTokenHandle || luid.lowPart != kShutdownPrivilegeLuid) {
        lastError = kErrorNotAllAssigned;
        return false;
    }
    lastError = calls_->HasCapability(CAP_SYS_BOOT) ? kErrorSuccess : kErrorNotAllAssigned;
    return true;
}

bool LinuxPlatform::ExitWindowsEx(uint32_t flags) {
    if ((flags & kEwxReboot) == 0) {
        return false; // the program only ever restarts
    }
    struct stat info {};
    const std::string systemd = root_ + "/run/systemd/system";
    if (stat(systemd.c_str(), &info) == 0) {
        return RunFirstPresent(*calls_, kSystemdReboot);
    }
    return RunFirstPresent(*calls_, kInitReboot);
}

} // namespace zelfin::linuxos
