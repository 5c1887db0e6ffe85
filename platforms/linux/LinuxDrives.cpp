// The drive list, opening a drive and its SCSI address, from sysfs and /dev.
#include "platforms/linux/LinuxPlatform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelfin::linuxos {
namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr int kListedDrives = 10; // sr0 .. sr9: the names that fit a drive root

struct DirCloser {
    DIR* dir;
    ~DirCloser() {
        if (dir != nullptr) {
            closedir(dir);
        }
    }
};

bool ParseAddressPart(const char*& text, unsigned& value, char end) {
    char* stop = nullptr;
    errno = 0;
    if (*text < '0' || *text > '9') {
        return false;
    }
    const unsigned long parsed = std::strtoul(text, &stop, 10);
    if (errno != 0 || *stop != end || parsed > 255) {
        return false; // the address bytes hold 0..255
    }
    value = static_cast<unsigned>(parsed);
    text = stop + (end != '\0' ? 1 : 0);
    return true;
}

} // namespace

bool IsDriveName(const char* name) {
    if (std::strncmp(name, "sr", 2) != 0 || name[2] < '0' || name[2] > '9') {
        return false;
    }
    if (name[2] == '0' && name[3] != '\0') {
        return false; // the kernel writes no leading zeros
    }
    for (const char* c = name + 2; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return false;
        }
    }
    return true;
}

uint32_t OpenErrorCode(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return kErrorAccessDenied;
    case ENOENT:
        return kErrorFileNotFound;
    case ENXIO:
    case ENODEV:
        return kErrorDeviceNotConnected;
    default:
        return kErrorGenFailure;
    }
}

uint32_t LinuxPlatform::GetLogicalDriveStrings(uint32_t bufferLength, char* buffer) {
    const std::string dirPath = root_ + "/sys/class/block";
    DirCloser dir{opendir(dirPath.c_str())};
    if (dir.dir == nullptr) {
        return 0;
    }
    bool listed[kListedDrives] = {};
    while (const dirent* entry = readdir(dir.dir)) {
        if (IsDriveName(entry->d_name) && std::strlen(entry->d_name) <= kMaxRootName) {
            listed[entry->d_name[2] - '0'] = true;
        }
    }
    // "sr0\0sr1\0...\0": in the kernel's numbering, which does not change while it runs.
    uint32_t needed = 1;
    for (bool present : listed) {
        needed += present ? kMaxRootName + 1 : 0;
    }
    if (needed == 1) {
        return 0;
    }
    if (bufferLength < needed || buffer == nullptr) {
        return needed;
    }
    uint32_t at = 0;
    for (int n = 0; n < kListedDrives; ++n) {
        if (listed[n]) {
            buffer[at++] = 's';
            buffer[at++] = 'r';
            buffer[at++] = static_cast<char>('0' + n);
            buffer[at++] = '\0';
        }
    }
    buffer[at] = '\0';
    return at;
}

uint32_t LinuxPlatform::GetDriveType(const char* root) {
    if (root == nullptr || !IsDriveName(root)) {
        return kDriveNoRootDir;
    }
    struct stat info {};
    const std::string path = root_ + "/sys/class/block/" + root;
    return stat(path.c_str(), &info) == 0 ? kDriveCdrom : kDriveNoRootDir;
}

OpenResult LinuxPlatform::CreateFile(const char* path) {
    OpenResult result;
    const std::size_t prefix = sizeof(kDevicePrefix) - 1;
    if (path == nullptr || std::strncmp(path, kDevicePrefix, prefix) != 0 ||
        !IsDriveName(path + prefix)) {
        result.error = kErrorFileNotFound; // only optical drives are opened here
        return result;
    }
    const std::string node = root_ + "/dev/" + (path + prefix);
    const int fd = calls_->Open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.error = OpenErrorCode(-fd);
        return result;
    }
    // Without CAP_SYS_RAWIO the kernel refuses the programming commands (EPERM) while letting
    // the harmless ones through: say so now, before anything is written.
    if (!calls_->HasCapability(CAP_SYS_RAWIO)) {
        calls_->Close(fd);
        result.error = kErrorAccessDenied;
        return result;
    }
    result.handle = static_cast<OsHandle>(fd);
    return result;
}

bool LinuxPlatform::CloseHandle(OsHandle handle) {
    if (handle == kInvalidHandle || handle > static_cast<OsHandle>(INT32_MAX)) {
        return false;
    }
    calls_->Close(static_cast<int>(handle));
    return true;
}

bool LinuxPlatform::ScsiGetAddress(OsHandle drive, ScsiAddress& address) {
    if (drive == kInvalidHandle || drive > static_cast<OsHandle>(INT32_MAX)) {
        return false;
    }
    unsigned major = 0;
    unsigned minor = 0;
    if (calls_->DeviceNumber(static_cast<int>(drive), major, minor) != 0) {
        return false;
    }
    // /sys/dev/block/M:m/device links to the SCSI device, named host:channel:target:lun.
    char link[64];
    std::snprintf(link, sizeof link, "/sys/dev/block/%u:%u/device", major, minor);
    const std::string linkPath = root_ + link;
    char target[512];
    const ssize_t length = readlink(linkPath.c_str(), target, sizeof target - 1);
    if (length <= 0) {
        return false;
    }
    target[length] = '\0';
    const char* name = std::strrchr(target, '/');
    name = name != nullptr ? name + 1 : target;
    unsigned host = 0;
    unsigned channel = 0;
    unsigned id = 0;
    unsigned lun = 0;
    if (!ParseAddressPart(name, host, ':') || !ParseAddressPart(name, channel, ':') ||
        !ParseAddressPart(name, id, ':') || !ParseAddressPart(name, lun, '\0')) {
        return false;
    }
    address.Length = sizeof(ScsiAddress);
    address.PortNumber = static_cast<uint8_t>(host);
    address.PathId = static_cast<uint8_t>(channel);
    address.TargetId = static_cast<uint8_t>(id);
    address.Lun = static_cast<uint8_t>(lun);
    return true;
}

bool LinuxPlatform::StorageQueryProperty(OsHandle, uint8_t*, uint32_t) {
    return false; // no storage descriptor on Linux; nothing reads it
}

} // namespace zelfin::linuxos
