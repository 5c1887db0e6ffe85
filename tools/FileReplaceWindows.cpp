// The lock and the replace on Windows, through the C++ library alone. A file open in another
// program cannot be replaced there, so the lock holds no handle of its own.
#include "tools/FileAccess.h"

#include <atomic>
#include <fstream>
#include <process.h>
#include <system_error>

namespace zelfin::pack {

namespace fs = std::filesystem;

std::optional<FileLock> FileLock::acquire(const fs::path& path, std::string& error) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        error = "cannot open " + path.string() + ": " +
                (ec ? ec.message() : std::string("not a regular file"));
        return std::nullopt;
    }
    return FileLock(-1);
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FileLock::~FileLock() = default;

bool replaceFile(const fs::path& path, const std::vector<std::uint8_t>& bytes,
                 const WrittenCheck& check, std::string& error) {
    // A name of its own in the same folder, so two runs never share a temporary file.
    static std::atomic<unsigned> serial{0};
    const fs::path temp = path.parent_path() / (".zelfin-pack-" + std::to_string(::_getpid()) +
                                                "-" + std::to_string(serial++) + ".tmp");
    std::error_code ec;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            fs::remove(temp, ec);
            error = "cannot write " + temp.string();
            return false;
        }
    }
    if (!check(temp, error)) {
        fs::remove(temp, ec);
        return false;
    }
    fs::rename(temp, path, ec);
    if (ec) {
        const std::string why = ec.message(); // before the clean-up can change it
        std::error_code ignored;
        fs::remove(temp, ignored);
        error = "cannot replace " + path.string() + ": " + why;
        return false;
    }
    return true;
}

} // namespace zelfin::pack
