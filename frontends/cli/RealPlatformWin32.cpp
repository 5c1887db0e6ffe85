#include "frontends/cli/RealPlatform.h"
#include "platforms/win32/Win32Platform.h"

namespace zelfin::cli {

std::unique_ptr<Platform> makeRealPlatform(std::string& /*whyNot*/) {
    return std::make_unique<win32::Win32Platform>();
}

} // namespace zelfin::cli
