// The restart: only a process that may reboot asks, and it asks the init system, which shuts
// down cleanly. The raw reboot system call is never made.
#include "platforms/linux/LinuxSession.h"

#include <cerrno>
#include <linux/capability.h>
#include <sys/stat.h>

namespace zelfin::linuxos {
namespace {

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

bool LinuxSession::RestartSystem() {
    if (!calls_->HasCapability(CAP_SYS_BOOT)) {
        return false;
    }
    struct stat info {};
    const std::string systemd = root_ + "/run/systemd/system";
    if (stat(systemd.c_str(), &info) == 0) {
        return RunFirstPresent(*calls_, kSystemdReboot);
    }
    return RunFirstPresent(*calls_, kInitReboot);
}

} // namespace zelfin::linuxos
