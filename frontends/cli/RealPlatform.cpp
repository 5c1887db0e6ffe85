#include "frontends/cli/RealPlatform.h"

namespace zelfin::cli {

std::unique_ptr<Platform> makeRealPlatform(std::string& whyNot) {
    // The SG_IO and Win32 platforms slot in here; until then only the simulated machine runs.
    whyNot = "this build has no platform for the drives of this machine yet; "
             "run with --simulate to update a simulated drive";
    return nullptr;
}

} // namespace zelfin::cli
