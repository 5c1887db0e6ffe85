#pragma once

#include "device/DriveEntry.h"

#include <string>

namespace zelfin::app {

// One line of the drive list: "%2d-%d-%d-%d %.2s%24s %4s" from adapter, path, target, LUN,
// the root's first two characters, the 24-character identification and the revision.
std::string formatDriveLine(const DriveEntry& entry);

} // namespace zelfin::app
