// A job's hold on its drive and the guards of a run that belong to the machine.
#include "platforms/win32/Win32Platform.h"

#include <windows.h>

#include <winioctl.h>

#include <cstddef>
#include <cstdio>

namespace zelfin::win32 {
namespace {

static_assert(kErrorBusy == ERROR_BUSY && kErrorNotReady == ERROR_NOT_READY);

HANDLE AsHandle(OsHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Errors of a volume lock that say there is no file system on the drive to lock (no disc, or
// one the system has not mounted): the drive is still ours.
bool NothingMounted(DWORD error) {
    return error == ERROR_NOT_READY || error == ERROR_NO_MEDIA_IN_DRIVE ||
           error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_UNRECOGNIZED_VOLUME;
}

// SetThreadExecutionState: Windows 98 and 2000 on, so looked up where the system has it.
using SetExecutionState = EXECUTION_STATE(WINAPI*)(EXECUTION_STATE);

SetExecutionState ExecutionStateEntry() {
    HMODULE kernel = ::GetModuleHandleA("KERNEL32.DLL");
    return kernel != nullptr ? reinterpret_cast<SetExecutionState>(reinterpret_cast<void*>(
                                   ::GetProcAddress(kernel, "SetThreadExecutionState")))
                             : nullptr;
}

constexpr std::size_t kHoldNameSize = 40;

// The drive's part of its hold name, the same in every copy of the program.
void HoldName(const DriveName& drive, char (&name)[kHoldNameSize]) {
    const char* root = drive.root != nullptr ? drive.root : "";
    // Through pass-through every drive has a letter, unique at any one time, while a drive the
    // driver gave no SCSI address has a made-up one that a real drive may also have.
    if (((root[0] >= 'A' && root[0] <= 'Z') || (root[0] >= 'a' && root[0] <= 'z')) &&
        root[1] == ':') {
        std::snprintf(name, sizeof name, "Zelfin drive %c:", root[0] & ~0x20);
    } else {
        std::snprintf(name, sizeof name, "Zelfin drive %d-%d-%d-%d", int{drive.adapter},
                      int{drive.pathId}, int{drive.target}, int{drive.lun});
    }
}

} // namespace

// A named mutex per drive, seen by every copy of the program; on the NT family also a
// lock of the drive's volume, which the system refuses while files on a mounted disc are open.
OpenResult Win32Platform::HoldDrive(const DriveName& drive, OsHandle driveHandle) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    const bool nt = ::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    // "Global\" names one object for every session; systems before Windows 2000 have one
    // namespace and would take the backslash as part of an invalid name.
    char base[kHoldNameSize];
    HoldName(drive, base);
    char name[kHoldNameSize + 8];
    std::snprintf(name, sizeof name, "%s%s", nt && version.dwMajorVersion >= 5 ? "Global\\" : "",
                  base);
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name);
    if (mutex == nullptr) {
        return OpenResult{kInvalidHandle, ::GetLastError()};
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return OpenResult{kInvalidHandle, kErrorBusy};
    }
    if (nt && driveHandle != kInvalidHandle) {
        DWORD returned = 0;
        // The lock lasts until the job closes its handle.
        if (!::DeviceIoControl(AsHandle(driveHandle), FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0,
                               &returned, nullptr) &&
            !NothingMounted(::GetLastError())) {
            ::CloseHandle(mutex);
            return OpenResult{kInvalidHandle, kErrorBusy};
        }
    }
    return OpenResult{reinterpret_cast<OsHandle>(mutex), 0};
}

void Win32Platform::ReleaseDrive(OsHandle hold) {
    ::CloseHandle(AsHandle(hold));
}

void Win32Platform::BeginRun() {
    if (const SetExecutionState set = ExecutionStateEntry()) {
        set(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    }
}

void Win32Platform::EndRun() {
    if (const SetExecutionState set = ExecutionStateEntry()) {
        set(ES_CONTINUOUS);
    }
}

} // namespace zelfin::win32
