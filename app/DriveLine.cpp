#include "app/DriveLine.h"

#include "package/FieldText.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace zelfin::app {
std::string formatDriveLine(const DriveEntry& entry) {
    // A drive letter and its colon ("D:" of "D:\\"), or a device name without one ("sr0").
    std::string root(fieldText(entry.root));
    root.resize(std::min(root.find('\\'), root.size()));
    const std::string id(fieldText(entry.displayId));
    const std::string revision(fieldText(entry.revision));
    // Widest line: 6 + 3 x 6 address characters, 2 + 3 separators, 31 id, 4 revision.
    char line[96];
    const int length = std::snprintf(line, sizeof line, "%2d-%d-%d-%d %s%24s %4s",
                                     int{entry.adapter}, int{entry.pathId}, int{entry.target},
                                     int{entry.lun}, root.c_str(), id.c_str(), revision.c_str());
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof line) {
        throw std::length_error("drive list line does not fit its buffer");
    }
    return std::string(line, static_cast<std::size_t>(length));
}

std::string displayIdText(const DriveEntry& entry) {
    std::string id(fieldText(entry.displayId));
    id.erase(id.find_last_not_of(' ') + 1);
    return id;
}

std::string driveName(const DriveEntry& entry) {
    std::string root(fieldText(entry.root));
    root.resize(std::min(root.find('\\'), root.size()));
    const std::string id = displayIdText(entry);
    // Drives found through ASPI have no letter.
    return (root.empty() ? "" : root + " ") + "(" + id + ", " + std::to_string(entry.adapter) +
           "-" + std::to_string(entry.pathId) + "-" + std::to_string(entry.target) + "-" +
           std::to_string(entry.lun) + ")";
}

} // namespace zelfin::app
