#include "platforms/linux/LinuxCalls.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/capability.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zelfin::linuxos {

int SystemCalls::Open(const char* path, int flags) {
    int fd = -1;
    do {
        fd = ::open(path, flags);
    } while (fd < 0 && errno == EINTR);
    return fd >= 0 ? fd : -errno;
}

void SystemCalls::Close(int fd) {
    ::close(fd); // a failed close of a device node leaves nothing to retry
}

int SystemCalls::SgIo(int fd, sg_io_hdr_t& request) {
    return ::ioctl(fd, SG_IO, &request) == 0 ? 0 : -errno;
}

int SystemCalls::DeviceNumber(int fd, unsigned& major, unsigned& minor) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return -errno;
    }
    if (!S_ISBLK(info.st_mode) && !S_ISCHR(info.st_mode)) {
        return -ENOTBLK;
    }
    major = ::major(info.st_rdev);
    minor = ::minor(info.st_rdev);
    return 0;
}

bool SystemCalls::HasCapability(int capability) {
    if (capability < 0 || capability >= 64) {
        return false;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    const auto word = static_cast<unsigned>(capability) / 32;
    const auto bit = static_cast<unsigned>(capability) % 32;
    return (data[word].effective >> bit & 1u) != 0;
}

int SystemCalls::Run(const char* const argv[]) {
    pid_t child = 0;
    // posix_spawn takes char* const[]; it does not write through them.
    const int started =
        ::posix_spawn(&child, argv[0], nullptr, nullptr, const_cast<char* const*>(argv), environ);
    if (started != 0) {
        return -started;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -errno;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace zelfin::linuxos
