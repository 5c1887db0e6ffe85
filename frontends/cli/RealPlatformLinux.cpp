#include "frontends/cli/RealPlatform.h"

#include "platforms/linux/LinuxPlatform.h"

namespace zelfin::cli {

std::unique_ptr<Platform> makeRealPlatform(std::string& whyNot) {
    whyNot.clear();
    return std::make_unique<linuxos::LinuxPlatform>();
}

} // namespace zelfin::cli
