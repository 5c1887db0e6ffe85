#include "device/OSInfo.h"

#include "device/Platform.h"

namespace zelfin {

OSInfo::OSInfo(Platform& platform) : platform_(&platform) {
    OsVersionInfo info{};
    isNtFamily = platform_->GetVersionEx(info) && info.platformId == kVerPlatformWin32Nt ? 1 : 0;
}

bool OSInfo::ExitSystem(uint32_t flags) {
    if (!isNtFamily) {
        return platform_->ExitWindowsEx(flags | kEwxForce);
    }
    OsHandle token = kNullHandle;
    if (!platform_->OpenProcessToken(kTokenAdjustPrivileges | kTokenQuery, token)) {
        return false;
    }
    Luid luid{};
    platform_->LookupPrivilegeValue("SeShutdownPrivilege", luid);
    uint32_t lastError = kErrorSuccess;
    platform_->AdjustTokenPrivileges(token, luid, kSePrivilegeEnabled, lastError);
    platform_->CloseHandle(token);
    // Success of the call alone does not mean the privilege was granted.
    if (lastError != kErrorSuccess) {
        return false;
    }
    return platform_->ExitWindowsEx(flags | kEwxForce);
}

bool OSInfo::RestartSystem() {
    return ExitSystem(kEwxReboot);
}

} // namespace zelfin
