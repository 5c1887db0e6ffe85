// hold-name.exe: both sides of a drive's hold name, for the wine cases.
//   hold-name take KIND NAME PROGRAM [ARGUMENTS...]
//     makes NAME first, runs PROGRAM and exits with its status. KIND: "user", a mutex owned by
//     this user and open to everyone, or "shut", open to no one (any user may make either);
//     "event", an event of that name; "admin", a mutex owned by Administrators, as another copy
//     of zelfin makes it.
//   hold-name hold ROOT ADAPTER PATH TARGET LUN [ROOT ADAPTER PATH TARGET LUN...]
//     holds each drive in turn as the Win32 session does (ROOT "-" for none), keeping every
//     hold, and prints "ROOT A-P-T-L: held", "busy" or "error N" for each.
#include "platforms/win32/Win32Session.h"

#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The security descriptor of KIND in SDDL; empty for an unknown kind.
std::string Descriptor(const char* kind) {
    if (std::strcmp(kind, "admin") == 0) {
        return "O:BAD:(A;;GA;;;BA)(A;;GA;;;SY)";
    }
    HANDLE token = nullptr;
    char buffer[256];
    DWORD length = 0;
    char* user = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) ||
        !GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length) ||
        !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &user)) {
        return "";
    }
    const std::string owner = std::string("O:") + user;
    LocalFree(user);
    CloseHandle(token);
    if (std::strcmp(kind, "user") == 0 || std::strcmp(kind, "event") == 0) {
        return owner + "D:(A;;GA;;;WD)";
    }
    return std::strcmp(kind, "shut") == 0 ? owner + "D:" : "";
}

int Take(int argc, char** argv) {
    const std::string sddl = Descriptor(argv[2]);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (sddl.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorA(
                            sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        std::fprintf(stderr, "hold-name: no descriptor for %s\n", argv[2]);
        return 2;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    HANDLE object = std::strcmp(argv[2], "event") == 0
                        ? CreateEventA(&attributes, TRUE, FALSE, argv[3])
                        : CreateMutexA(&attributes, FALSE, argv[3]);
    if (object == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        std::fprintf(stderr, "hold-name: %s was not made first: error %lu\n", argv[3],
                     GetLastError());
        return 2;
    }
    std::string command;
    for (int i = 4; i < argc; ++i) {
        std::string argument(argv[i]);
        // Backslashes before the closing quote are doubled, or "R:\" would escape it.
        const std::size_t kept = argument.find_last_not_of('\\') + 1;
        argument += argument.substr(kept);
        command += (i > 4 ? " \"" : "\"") + argument + "\"";
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "hold-name: cannot start %s: error %lu\n", argv[4], GetLastError());
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 2;
    GetExitCodeProcess(process.hProcess, &status);
    return static_cast<int>(status);
}

int Hold(int argc, char** argv) {
    zelfin::win32::Win32Session os;
    for (int i = 2; i + 4 < argc; i += 5) {
        auto part = [&](int k) { return static_cast<int16_t>(std::atoi(argv[i + k])); };
        const zelfin::DriveName drive{std::strcmp(argv[i], "-") == 0 ? "" : argv[i], part(1),
                                      part(2), part(3), part(4)};
        const zelfin::OpenResult held = os.HoldDrive(drive, zelfin::kInvalidHandle);
        std::printf("%s %d-%d-%d-%d: ", argv[i], drive.adapter, drive.pathId, drive.target,
                    drive.lun);
        if (held.handle != zelfin::kInvalidHandle) {
            std::printf("held\n");
        } else if (held.error == zelfin::kErrorBusy) {
            std::printf("busy\n");
        } else {
            std::printf("error %u\n", static_cast<unsigned>(held.error));
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::strcmp(argv[1], "take") == 0) {
        return Take(argc, argv);
    }
    if (argc >= 7 && std::strcmp(argv[1], "hold") == 0) {
        return Hold(argc, argv);
    }
    std::fprintf(stderr, "usage: hold-name take KIND NAME PROGRAM [ARGUMENTS...]\n"
                         "       hold-name hold ROOT ADAPTER PATH TARGET LUN...\n");
    return 2;
}
