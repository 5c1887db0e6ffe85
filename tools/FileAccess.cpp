#include "tools/FileAccess.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
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

std::optional<std::vector<std::uint8_t>> readFileAtMost(const fs::path& path, std::uintmax_t limit,
                                                        std::string& error) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec) {
        error = "cannot read " + path.string() + ": " + ec.message();
        return std::nullopt;
    }
    if (fs::is_directory(status)) {
        error = "cannot read " + path.string() + ": it is a folder, not a file";
        return std::nullopt;
    }
    if (!fs::is_regular_file(status)) {
        error = "cannot read " + path.string() + ": not a regular file";
        return std::nullopt;
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        error = "cannot read " + path.string() + ": " + ec.message();
        return std::nullopt;
    }
    if (size > limit) {
        error = path.string() + " is " + std::to_string(size) + " bytes; at most " +
                std::to_string(limit) + " can be used";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    // A file that shrank since its size was taken reads short and is refused; one that grew is
    // read only as far as its size said.
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in || static_cast<std::uintmax_t>(in.gcount()) != size) {
        error = "cannot read " + path.string() + ": it changed while it was read";
        return std::nullopt;
    }
    return bytes;
}

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

bool replaceFile(const fs::path& path, const std::vector<std::uint8_t>& bytes, std::string& error) {
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
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int code = errno;
        return fail("cannot replace " + path.string(), code);
    }
    ::close(fd);
    return true;
}

} // namespace zelfin::pack
