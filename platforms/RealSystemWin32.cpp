#include "platforms/ProcessStopSession.h"
#include "platforms/RealSystem.h"
#include "platforms/win32/ConsoleStops.h"
#include "platforms/win32/Win32Platform.h"
#include "platforms/win32/Win32Session.h"

namespace zelfin {

RealSystem makeRealSystem(std::string& whyNot) {
    whyNot.clear();
    return RealSystem{std::make_unique<win32::Win32Platform>(),
                      std::make_unique<win32::Win32Session>()};
}

std::unique_ptr<Session> holdingProcessStops(Session& machine) {
    return std::make_unique<ProcessStopSession>(
        machine,
        ProcessStops{win32::HoldConsoleStops, win32::ConsoleStopHeld, win32::ReleaseConsoleStops});
}

} // namespace zelfin
