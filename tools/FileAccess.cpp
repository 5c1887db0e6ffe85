#include "tools/FileAccess.h"

#include <fstream>

namespace zelfin::pack {

namespace fs = std::filesystem;

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

} // namespace zelfin::pack
