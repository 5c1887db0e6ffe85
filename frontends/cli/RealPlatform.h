#pragma once
// The machine's own platform, where this build has one.

#include "device/Platform.h"
#include "frontends/cli/GuardedPlatform.h"

#include <memory>
#include <string>

namespace zelfin::cli {

// Null, with the reason in whyNot, when this build has no platform for the machine it runs on.
std::unique_ptr<Platform> makeRealPlatform(std::string& whyNot);

// The requests to end this process that a run holds, as this system delivers them (none where
// the build has no platform).
ProcessStops processStops();

} // namespace zelfin::cli
