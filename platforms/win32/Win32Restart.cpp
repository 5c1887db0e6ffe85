#include "platforms/win32/Win32Restart.h"
#include "platforms/win32/Win32Session.h"

namespace zelfin::win32 {

BOOL SystemRestartCalls::OpenProcessToken(DWORD access, HANDLE& token) {
    return ::OpenProcessToken(::GetCurrentProcess(), access, &token);
}

BOOL SystemRestartCalls::LookupPrivilegeValueA(const char* name, LUID& luid) {
    return ::LookupPrivilegeValueA(nullptr, name, &luid);
}

BOOL SystemRestartCalls::AdjustTokenPrivileges(HANDLE token, TOKEN_PRIVILEGES& privileges,
                                               DWORD& lastError) {
    const BOOL ok = ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    lastError = ::GetLastError();
    return ok;
}

BOOL SystemRestartCalls::CloseHandle(HANDLE handle) {
    return ::CloseHandle(handle);
}

BOOL SystemRestartCalls::ExitWindowsEx(UINT flags) {
    return ::ExitWindowsEx(flags, 0);
}

bool RestartWindows(bool ntFamily, RestartCalls& calls) {
    constexpr UINT kFlags = EWX_REBOOT | EWX_FORCE;
    if (!ntFamily) {
        return calls.ExitWindowsEx(kFlags) != FALSE;
    }
    HANDLE token = nullptr;
    if (!calls.OpenProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token)) {
        return false;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    calls.LookupPrivilegeValueA("SeShutdownPrivilege", privileges.Privileges[0].Luid);
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD lastError = ERROR_SUCCESS;
    calls.AdjustTokenPrivileges(token, privileges, lastError);
    calls.CloseHandle(token);
    // Success of the call alone does not mean the privilege was granted.
    if (lastError != ERROR_SUCCESS) {
        return false;
    }
    return calls.ExitWindowsEx(kFlags) != FALSE;
}

bool Win32Session::RestartSystem() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    const bool nt = ::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    SystemRestartCalls calls;
    return RestartWindows(nt, calls);
}

} // namespace zelfin::win32
