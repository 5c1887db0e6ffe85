#pragma once

#include "device/DriveEntry.h"

#include <string>

namespace zelfin::app {

// One line of the drive list: "%2d-%d-%d-%d %s%24s %4s" from adapter, path, target, LUN, the
// root up to its backslash (the letter and colon of "D:\", so "%.2s" there; a device name such
// as "sr0" whole), the 24-character identification and the revision.
std::string formatDriveLine(const DriveEntry& entry);

// "BRYMOTE DVDRW RVM-270A": the vendor and product as the drive reports them, without the
// trailing blanks.
std::string displayIdText(const DriveEntry& entry);

// "sr0 (BRYMOTE DVDRW RVM-270A, 1-0-0-0)": the drive as its list line names it, for messages.
std::string driveName(const DriveEntry& entry);

} // namespace zelfin::app
