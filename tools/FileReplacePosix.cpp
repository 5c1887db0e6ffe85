// The lock and the atomic replace on POSIX systems.
#include "tools/FileAccess.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace zelfin::pack {

namespace fs = std::filesystem;

namespace {

std::string reason(int code) {
    return std::generic_category().message(code);
}

} // namespace

std::optional<FileLock> FileLock::acquire(const fs::path& path, std::string& error) {
    for (;;) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = "cannot open " + path.string() + ": " + reason(errno);
            return std::nullopt;
        }
        if (::flock(fd, LOCK_EX) != 0) {
            const int code = errno;
            ::close(fd);
            error = "cannot lock " + path.string() + ": " + reason(code);
            return std::nullopt;
        }
        // Another run may have replaced the file while this one waited: lock the new one.
        struct stat locked {};
        struct stat named {};
        if (::fstat(fd, &locked) == 0 && ::stat(path.c_str(), &named) == 0 &&
            locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
            return FileLock(fd);
        }
        ::close(fd);
    }
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FileLock::~FileLock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool replaceFile(const fs::path& path, const std::vector<std::uint8_t>& bytes,
                 const WrittenCheck& check, std::string& error) {
    // A name of its own in the same folder: two runs never share a temporary file, and the
    // rename stays on one file system, where it is atomic.
    std::string temp = (path.parent_path() / ".zelfin-pack-XXXXXX").string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot create a temporary file in the folder of " + path.string() + ": " +
                reason(errno);
        return false;
    }
    auto fail = [&](const std::string& what, int code) {
        ::close(fd);
        ::unlink(temp.c_str());
        error = what + ": " + reason(code);
        return false;
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int code = n < 0 ? errno : EIO;
            return fail("cannot write " + temp, code);
        }
        done += static_cast<std::size_t>(n);
    }
    struct stat old {};
    if (::stat(path.c_str(), &old) != 0) {
        const int code = errno;
        return fail("cannot read the permissions of " + path.string(), code);
    }
    if (::fchmod(fd, old.st_mode & 07777) != 0) {
        const int code = errno;
        return fail("cannot set the permissions of " + temp, code);
    }
    if (::fsync(fd) != 0) {
        const int code = errno;
        return fail("cannot write " + temp, code);
    }
    if (!check(temp, error)) {
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int code = errno;
        return fail("cannot replace " + path.string(), code);
    }
    ::close(fd);
    return true;
}

} // namespace zelfin::pack
