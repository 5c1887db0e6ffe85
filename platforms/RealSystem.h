#pragma once
// The machine this program runs on, where this build has a platform for it: its Platform for
// the drives and its Session for the runs around them.
#include "device/Platform.h"
#include "device/Session.h"

#include <memory>
#include <string>

namespace zelfin {

struct RealSystem {
    std::unique_ptr<Platform> platform;
    std::unique_ptr<Session> session;
};

// Both null, with the reason in whyNot, when this build has no platform for this machine.
RealSystem makeRealSystem(std::string& whyNot);

// A session that plays `machine` (a simulated one) and also holds this process's requests to
// end it during a run, as the real session does: a simulated update is stopped as a real one.
std::unique_ptr<Session> holdingProcessStops(Session& machine);

} // namespace zelfin
