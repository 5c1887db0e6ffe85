#pragma once
// The raw Linux calls the platform makes on devices and processes. SystemCalls makes them for
// real; tests put a fake in their place to see every request and to answer with any outcome.
#include <scsi/sg.h>

namespace zelfin::linuxos {

class LinuxCalls {
public:
    virtual ~LinuxCalls() = default;

    // open(2): the new descriptor, or -errno.
    virtual int Open(const char* path, int flags) = 0;
    virtual void Close(int fd) = 0;
    // ioctl(fd, SG_IO, &request): 0, or -errno when the ioctl itself failed.
    virtual int SgIo(int fd, sg_io_hdr_t& request) = 0;
    // The device number of the node behind fd (fstat's st_rdev): 0, or -errno.
    virtual int DeviceNumber(int fd, unsigned& major, unsigned& minor) = 0;
    // Whether the effective capability set of this process holds the capability.
    virtual bool HasCapability(int capability) = 0;
    // Runs the program argv[0] (an absolute path; argv ends with a null) and waits for it:
    // its exit status, or -errno when it could not be started.
    virtual int Run(const char* const argv[]) = 0;
};

class SystemCalls final : public LinuxCalls {
public:
    int Open(const char* path, int flags) override;
    void Close(int fd) override;
    int SgIo(int fd, sg_io_hdr_t& request) override;
    int DeviceNumber(int fd, unsigned& major, unsigned& minor) override;
    bool HasCapability(int capability) override;
    int Run(const char* const argv[]) override;
};

} // namespace zelfin::linuxos
