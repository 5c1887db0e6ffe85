// A job's hold on its drive.
#include "platforms/linux/LinuxSession.h"
#include "platforms/linux/LinuxPlatform.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>

namespace zelfin::linuxos {

LinuxSession::LinuxSession() : own_(std::make_unique<SystemCalls>()), calls_(own_.get()) {
}

LinuxSession::LinuxSession(LinuxCalls& calls, std::string root)
    : calls_(&calls), root_(std::move(root)) {
}

LinuxSession::~LinuxSession() {
    EndRun();
}

// An exclusive open: the kernel refuses it (EBUSY) while the disc is mounted or another program
// holds the drive the same way, and refuses them while we hold it.
OpenResult LinuxSession::HoldDrive(const DriveName& drive, OsHandle) {
    OpenResult result;
    if (drive.root == nullptr || !IsDriveName(drive.root)) {
        result.error = kErrorFileNotFound;
        return result;
    }
    const std::string node = root_ + "/dev/" + drive.root;
    const int fd = calls_->Open(node.c_str(), O_RDONLY | O_NONBLOCK | O_EXCL | O_CLOEXEC);
    if (fd < 0) {
        result.error = -fd == EBUSY ? kErrorBusy : OpenErrorCode(-fd);
        return result;
    }
    result.handle = static_cast<OsHandle>(fd);
    return result;
}

void LinuxSession::ReleaseDrive(OsHandle hold) {
    if (hold != kInvalidHandle && hold <= static_cast<OsHandle>(INT32_MAX)) {
        calls_->Close(static_cast<int>(hold));
    }
}

} // namespace zelfin::linuxos
