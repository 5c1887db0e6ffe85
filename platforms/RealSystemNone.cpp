// Systems without a platform of their own build this: only the simulated machine runs there.
#include "platforms/ProcessStopSession.h"
#include "platforms/RealSystem.h"

namespace zelfin {

RealSystem makeRealSystem(std::string& whyNot) {
    whyNot = "this build has no platform for the drives of this machine; "
             "run with --simulate to update a simulated drive";
    return RealSystem{};
}

std::unique_ptr<Session> holdingProcessStops(Session& machine) {
    return std::make_unique<ProcessStopSession>(machine,
                                                ProcessStops{[] {}, [] { return false; }, [] {}});
}

} // namespace zelfin
