#include "device/OSInfo.h"

#include "device/Platform.h"

namespace zelfin {

OSInfo::OSInfo(Platform& platform) {
    OsVersionInfo info{};
    isNtFamily = platform.GetVersionEx(info) && info.platformId == kVerPlatformWin32Nt ? 1 : 0;
}

} // namespace zelfin
