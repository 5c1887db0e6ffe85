#pragma once

// The check a filled program passes before it replaces the original: read back from the disk,
// its package must match its seal and its bytes must be the ones meant, so a write that went
// wrong on the way never leaves a program that refuses to start, or one that starts damaged.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace zelfin::pack {

// False with the reason when the file at `path` is not `meant` or its package is not intact.
bool readsBackSealed(const std::filesystem::path& path, std::span<const std::uint8_t> meant,
                     std::string& error);

} // namespace zelfin::pack
