#include "platforms/ProcessStopSession.h"
#include "platforms/RealSystem.h"
#include "platforms/linux/LinuxPlatform.h"
#include "platforms/linux/LinuxSession.h"
#include "platforms/linux/StopSignals.h"

namespace zelfin {

RealSystem makeRealSystem(std::string& whyNot) {
    whyNot.clear();
    return RealSystem{std::make_unique<linuxos::LinuxPlatform>(),
                      std::make_unique<linuxos::LinuxSession>()};
}

std::unique_ptr<Session> holdingProcessStops(Session& machine) {
    return std::make_unique<ProcessStopSession>(machine, ProcessStops{linuxos::HoldStopSignals,
                                                                      linuxos::StopSignalHeld,
                                                                      linuxos::ReleaseStopSignals});
}

} // namespace zelfin
