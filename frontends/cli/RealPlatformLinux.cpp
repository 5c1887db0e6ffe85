#include "frontends/cli/RealPlatform.h"

#include "platforms/linux/LinuxPlatform.h"
#include "platforms/linux/StopSignals.h"

namespace zelfin::cli {

std::unique_ptr<Platform> makeRealPlatform(std::string& whyNot) {
    whyNot.clear();
    return std::make_unique<linuxos::LinuxPlatform>();
}

ProcessStops processStops() {
    return ProcessStops{linuxos::HoldStopSignals, linuxos::StopSignalHeld,
                        linuxos::ReleaseStopSignals};
}

} // namespace zelfin::cli
