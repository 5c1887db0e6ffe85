#pragma once
// The program: a front end hands it its toolkit, its machine (the platform for the drives and the
// session for the runs) and the package block it carries.

#include "app/RunReport.h"
#include "device/CommandObserver.h"
#include "device/Platform.h"
#include "device/Session.h"
#include "package/PackageBlock.h"
#include "package/PackageSeal.h"
#include "ui/Toolkit.h"

namespace zelfin::app {

// Runs start-up, then the message loop until the program is told to end. Returns 0.
// report, when given, receives the drive list and the outcome of each job of the last run;
// observer, when given, hears of every command sent to a drive.
int runZelfin(ui::Toolkit& toolkit, Platform& platform, Session& session, const PackageBlock& block,
              const PackageSeal& seal, RunReport* report = nullptr,
              CommandObserver* observer = nullptr);

} // namespace zelfin::app
