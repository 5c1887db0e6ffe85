// Runs inside the QEMU guest of scripts/qemu-e2e.sh, beside zelfin-cli:
//   tray DEVICE                   what the drive says of its tray and medium
//   without-rawio PROGRAM ARGS    runs PROGRAM as this user, without CAP_SYS_RAWIO
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

int Tray(const char* device) {
    const int fd = open(device, O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        std::perror(device);
        return 1;
    }
    // GET EVENT STATUS NOTIFICATION, polled, media class, 8 bytes.
    unsigned char cdb[10] = {0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 8, 0};
    unsigned char data[8] = {};
    unsigned char sense[32] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.dxfer_direction = SG_DXFER_FROM_DEV;
    io.cmd_len = sizeof cdb;
    io.cmdp = cdb;
    io.dxfer_len = sizeof data;
    io.dxferp = data;
    io.mx_sb_len = sizeof sense;
    io.sbp = sense;
    io.timeout = 10000;
    if (ioctl(fd, SG_IO, &io) != 0 || io.status != 0 || io.host_status != 0) {
        std::fprintf(stderr, "GET EVENT STATUS failed\n");
        return 1;
    }
    close(fd);
    std::printf("tray=%s medium=%s\n", (data[5] & 1) != 0 ? "open" : "closed",
                (data[5] & 2) != 0 ? "present" : "absent");
    return 0;
}

int WithoutRawIo(char** argv) {
    if (prctl(PR_CAPBSET_DROP, CAP_SYS_RAWIO, 0, 0, 0) != 0) {
        std::perror("PR_CAPBSET_DROP");
        return 1;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[_LINUX_CAPABILITY_U32S_3]{};
    const unsigned bit = 1u << (CAP_SYS_RAWIO % 32);
    if (syscall(SYS_capget, &header, caps) != 0) {
        std::perror("capget");
        return 1;
    }
    auto& word = caps[CAP_SYS_RAWIO / 32];
    word.effective &= ~bit;
    word.permitted &= ~bit;
    word.inheritable &= ~bit;
    if (syscall(SYS_capset, &header, caps) != 0) {
        std::perror("capset");
        return 1;
    }
    execv(argv[0], argv);
    std::perror(argv[0]);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "tray") == 0) {
        return Tray(argv[2]);
    }
    if (argc >= 3 && std::strcmp(argv[1], "without-rawio") == 0) {
        return WithoutRawIo(argv + 2);
    }
    std::fprintf(stderr, "usage: %s tray DEVICE | without-rawio PROGRAM [ARGS]\n", argv[0]);
    return 2;
}
