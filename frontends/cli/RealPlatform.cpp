#include "frontends/cli/RealPlatform.h"

namespace zelfin::cli {

// Systems without a platform of their own build this: only the simulated machine runs there.
std::unique_ptr<Platform> makeRealPlatform(std::string& whyNot) {
    whyNot = "this build has no platform for the drives of this machine; "
             "run with --simulate to update a simulated drive";
    return nullptr;
}

ProcessStops processStops() {
    return ProcessStops{[] {}, [] { return false; }, [] {}};
}

} // namespace zelfin::cli
