#include "frontends/cli/RealPlatform.h"
#include "platforms/win32/ConsoleStops.h"
#include "platforms/win32/Win32Platform.h"

namespace zelfin::cli {

std::unique_ptr<Platform> makeRealPlatform(std::string& /*whyNot*/) {
    return std::make_unique<win32::Win32Platform>();
}

ProcessStops processStops() {
    return ProcessStops{win32::HoldConsoleStops, win32::ConsoleStopHeld,
                        win32::ReleaseConsoleStops};
}

} // namespace zelfin::cli
