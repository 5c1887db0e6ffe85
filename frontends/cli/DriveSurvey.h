#pragma once
// --list: the scan and the verdicts of start-up, without the window, the questions or anything
// that changes a drive.

#include "device/CommandObserver.h"
#include "device/DriveEntry.h"
#include "device/Platform.h"
#include "package/PackageBlock.h"
#include "package/PackageSeal.h"

#include <string>
#include <vector>

namespace zelfin::cli {

struct DriveSurvey {
    std::string stop;               // why start-up would end before judging drives; else empty
    std::vector<DriveEntry> drives; // as found, each with its verdict
    bool anyEligible() const;
};

DriveSurvey surveyDrives(Platform& platform, const PackageBlock& block, const PackageSeal& seal,
                         CommandObserver* observer = nullptr);

} // namespace zelfin::cli
