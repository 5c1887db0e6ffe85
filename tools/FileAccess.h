#pragma once

// zelfin-pack's file access: bounded reads of regular files, and an in-place replace that is
// atomic and serialised against other zelfin-pack runs on the same file. Errors name the file
// and the system's reason.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelfin::pack {

// Reads a regular file of at most `limit` bytes. Folders, devices and larger files are refused
// before any byte is read, so nothing is read beyond what the caller could use.
std::optional<std::vector<std::uint8_t>> readFileAtMost(const std::filesystem::path& path,
                                                        std::uintmax_t limit, std::string& error);

// An exclusive lock on the file at a path, held while it is read, changed and replaced. A replace
// puts a new file at the path, so the lock is taken again until the path names the locked file.
class FileLock {
public:
    static std::optional<FileLock> acquire(const std::filesystem::path& path, std::string& error);
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&&) = delete;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// Checks a written temporary file before it may replace the original; false with a message
// refuses it.
using WrittenCheck = std::function<bool(const std::filesystem::path& written, std::string& error)>;

// Writes `bytes` to a new temporary file in the folder of `path`, has `check` judge the file as
// written, and renames it over `path`, keeping the file's permissions; on failure or refusal
// `path` is unchanged and no temporary file is left.
bool replaceFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes,
                 const WrittenCheck& check, std::string& error);

} // namespace zelfin::pack
