// The restart's raw calls in order, under wine, with the system's answers played by a fake: on the
// NT family the shutdown privilege must be granted before the reboot is asked for.
#include "platforms/win32/Win32Restart.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelfin::win32 {
namespace {

HANDLE const kToken = reinterpret_cast<HANDLE>(0x44);
constexpr DWORD kShutdownLuid = 19;

struct FakeRestartCalls final : RestartCalls {
    bool tokenOpens = true;
    DWORD adjustError = ERROR_SUCCESS; // GetLastError after the adjustment
    bool exitAccepted = true;
    std::vector<std::string> calls;

    BOOL OpenProcessToken(DWORD access, HANDLE& token) override {
        calls.push_back("open " + std::to_string(access));
        token = tokenOpens ? kToken : nullptr;
        return tokenOpens;
    }
    BOOL LookupPrivilegeValueA(const char* name, LUID& luid) override {
        calls.push_back(std::string("lookup ") + name);
        luid = LUID{kShutdownLuid, 0};
        return TRUE;
    }
    BOOL AdjustTokenPrivileges(HANDLE token, TOKEN_PRIVILEGES& privileges,
                               DWORD& lastError) override {
        const LUID_AND_ATTRIBUTES& p = privileges.Privileges[0];
        calls.push_back("adjust " + std::string(token == kToken ? "token" : "?") + " " +
                        std::to_string(privileges.PrivilegeCount) + " " +
                        std::to_string(p.Luid.LowPart) + " " + std::to_string(p.Attributes));
        lastError = adjustError;
        return TRUE; // the call succeeds even when the privilege is not granted
    }
    BOOL CloseHandle(HANDLE handle) override {
        calls.push_back(handle == kToken ? "close token" : "close ?");
        return TRUE;
    }
    BOOL ExitWindowsEx(UINT flags) override {
        calls.push_back("exit " + std::to_string(flags));
        return exitAccepted;
    }
};

TEST(Win32Restart, TheNtFamilyEnablesTheShutdownPrivilegeBeforeAskingAndTheNinetyFiveFamilyAsks) {
    const std::string open = "open " + std::to_string(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
    const std::string adjust = "adjust token 1 " + std::to_string(kShutdownLuid) + " " +
                               std::to_string(SE_PRIVILEGE_ENABLED);
    const std::string reboot = "exit " + std::to_string(EWX_REBOOT | EWX_FORCE);
    const std::string lookup = "lookup SeShutdownPrivilege";
    const struct {
        const char* what;
        bool nt;
        bool tokenOpens;
        DWORD adjustError;
        bool exitAccepted;
        bool restarted;
        std::vector<std::string> calls;
    } cases[] = {
        {"nt",
         true,
         true,
         ERROR_SUCCESS,
         true,
         true,
         {open, lookup, adjust, "close token", reboot}},
        {"nt, refused",
         true,
         true,
         ERROR_SUCCESS,
         false,
         false,
         {open, lookup, adjust, "close token", reboot}},
        {"nt, privilege not held",
         true,
         true,
         ERROR_NOT_ALL_ASSIGNED,
         true,
         false,
         {open, lookup, adjust, "close token"}},
        {"nt, no token", true, false, ERROR_SUCCESS, true, false, {open}},
        {"95 family, no tokens there", false, false, ERROR_SUCCESS, true, true, {reboot}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRestartCalls calls;
        calls.tokenOpens = c.tokenOpens;
        calls.adjustError = c.adjustError;
        calls.exitAccepted = c.exitAccepted;
        EXPECT_EQ(RestartWindows(c.nt, calls), c.restarted);
        EXPECT_EQ(calls.calls, c.calls);
    }
}

} // namespace
} // namespace zelfin::win32
