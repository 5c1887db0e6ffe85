#pragma once
// The machine's own platform, where this build has one.

#include "device/Platform.h"

#include <memory>
#include <string>

namespace zelfin::cli {

// Null, with the reason in whyNot, when this build has no platform for the machine it runs on.
std::unique_ptr<Platform> makeRealPlatform(std::string& whyNot);

} // namespace zelfin::cli
