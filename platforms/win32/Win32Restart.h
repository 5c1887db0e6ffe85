#pragma once
// The restart on Windows over the raw calls it makes. For .cpp files only: it brings
// <windows.h>, whose macros would rename the seams' methods in a header.
#include <windows.h>

namespace zelfin::win32 {

// The calls of the restart. SystemRestartCalls makes them; the tests under wine answer them.
class RestartCalls {
public:
    virtual ~RestartCalls() = default;
    // OpenProcessToken(GetCurrentProcess(), access, &token).
    virtual BOOL OpenProcessToken(DWORD access, HANDLE& token) = 0;
    // LookupPrivilegeValueA(no system name, name, &luid).
    virtual BOOL LookupPrivilegeValueA(const char* name, LUID& luid) = 0;
    // AdjustTokenPrivileges(token, FALSE, &privileges, 0, no previous state), then GetLastError.
    virtual BOOL AdjustTokenPrivileges(HANDLE token, TOKEN_PRIVILEGES& privileges,
                                       DWORD& lastError) = 0;
    virtual BOOL CloseHandle(HANDLE handle) = 0;
    // ExitWindowsEx(flags, 0).
    virtual BOOL ExitWindowsEx(UINT flags) = 0;
};

class SystemRestartCalls final : public RestartCalls {
public:
    BOOL OpenProcessToken(DWORD access, HANDLE& token) override;
    BOOL LookupPrivilegeValueA(const char* name, LUID& luid) override;
    BOOL AdjustTokenPrivileges(HANDLE token, TOKEN_PRIVILEGES& privileges,
                               DWORD& lastError) override;
    BOOL CloseHandle(HANDLE handle) override;
    BOOL ExitWindowsEx(UINT flags) override;
};

// Asks for a forced reboot. The 95 family asks at once; the NT family enables the shutdown
// privilege in this process's token first and asks only when it was granted. True when the
// request was accepted.
bool RestartWindows(bool ntFamily, RestartCalls& calls);

} // namespace zelfin::win32
