// The C++ runtime's file streams ask msvcrt.dll for _fstat64, which only the msvcrt.dll of
// Windows 2000 and later exports: a program importing it does not load on Windows 98 or NT 4.0.
// This supplies the import slot the runtime calls through, built on _fstati64, which every
// msvcrt.dll exports. Linked as an object into the release programs.
#include <sys/stat.h>
#include <sys/types.h>

namespace {

int fstat64ByFstati64(int fd, struct _stat64* out) {
    struct _stati64 in {};
    const int result = _fstati64(fd, &in);
    if (result == 0) {
        *out = {};
        out->st_dev = in.st_dev;
        out->st_ino = in.st_ino;
        out->st_mode = in.st_mode;
        out->st_nlink = in.st_nlink;
        out->st_uid = in.st_uid;
        out->st_gid = in.st_gid;
        out->st_rdev = in.st_rdev;
        out->st_size = in.st_size;
        out->st_atime = in.st_atime;
        out->st_mtime = in.st_mtime;
        out->st_ctime = in.st_ctime;
    }
    return result;
}

} // namespace

// The name the import library would give the slot (__imp___fstat64 on i686, __imp__fstat64 on
// x86_64): defined here, the linker takes no _fstat64 from msvcrt.dll.
extern "C" {
#if defined(__i386__)
int (*_imp___fstat64)(int, struct _stat64*) = fstat64ByFstati64;
#else
int (*__imp__fstat64)(int, struct _stat64*) = fstat64ByFstati64;
#endif
}
