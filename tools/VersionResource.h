#pragma once
// The text strings of a Windows program's version resource, which Explorer and installers show:
// found by their keys through the resource tree of the file's bytes and rewritten in place, so
// that a filled program describes its package instead of the unfilled build. The file never
// grows: the build pads the strings fill writes to their longest, which reserves the room, and
// fill writes the whole version block anew within it, as a resource compiler lays it out.

#include "package/Package.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelfin::pack {

enum class VersionResource : std::uint8_t {
    NotPe,   // no PE program (a Linux build): nothing to write
    Missing, // a PE program without a version resource
    Present,
};

struct VersionBlocks {
    VersionResource resource = VersionResource::NotPe;
    // Each version resource's file offset and its room: the bytes its directory reserves.
    std::vector<std::pair<std::size_t, std::size_t>> blocks;
    std::string error; // why a resource could not be located, if one could not
};

// Every version resource of the file, through its resource directory. Reads within the file's
// bytes, its resource section and each structure's stated length only.
VersionBlocks findVersionBlocks(std::span<const std::uint8_t> file);

// The text of the String with `key` in the first version resource, up to its NUL;
// std::nullopt when there is none or the resource is damaged.
std::optional<std::u16string> readVersionString(std::span<const std::uint8_t> file,
                                                std::u16string_view key);

// Package texts are bytes in the resource's code page, Windows-1252.
std::u16string fromWindows1252(std::string_view text);

// Writes the package's caption into FileDescription and bank 1's new revision into
// ProductVersion of every version resource. A PE program whose version resource is damaged,
// lacks either string, or has too little room is refused with the reason in `error`, and `file`
// is left as it was. `report` says what was written, or that there is no resource to write.
bool writeVersionStrings(std::vector<std::uint8_t>& file, const Package& package,
                         std::string& report, std::string& error);

} // namespace zelfin::pack
