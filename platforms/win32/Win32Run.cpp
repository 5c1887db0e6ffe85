// A job's hold on its drive and the guards of a run: the system kept awake, Ctrl+C held.
#include "platforms/win32/ConsoleStops.h"
#include "platforms/win32/Win32Session.h"

#include <windows.h>

#include <winioctl.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

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

// The hold names of the NT family are made and judged under these rights: objects owned by
// Administrators that Administrators and LocalSystem alone may open. Built by hand, as the
// system lays a self-relative descriptor out, so the 95 family loads no security entry points.
struct HoldSecurity {
    SECURITY_DESCRIPTOR_RELATIVE header;
    uint8_t owner[16];
    ACL acl;
    ACE_HEADER administratorsAce;
    ACCESS_MASK administratorsMask;
    uint8_t administrators[16];
    ACE_HEADER systemAce;
    ACCESS_MASK systemMask;
    uint8_t system[12];
};
static_assert(sizeof(HoldSecurity) == 88);

// S-1-5-32-544 (BUILTIN\Administrators) and S-1-5-18 (LocalSystem).
constexpr uint8_t kAdministratorsSid[16] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
constexpr uint8_t kSystemSid[12] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};

HoldSecurity MakeHoldSecurity() {
    HoldSecurity security{};
    security.header.Revision = SECURITY_DESCRIPTOR_REVISION;
    security.header.Control = SE_SELF_RELATIVE | SE_DACL_PRESENT;
    security.header.Owner = offsetof(HoldSecurity, owner);
    security.header.Dacl = offsetof(HoldSecurity, acl);
    std::memcpy(security.owner, kAdministratorsSid, sizeof kAdministratorsSid);
    security.acl.AclRevision = ACL_REVISION;
    security.acl.AclSize = sizeof(HoldSecurity) - offsetof(HoldSecurity, acl);
    security.acl.AceCount = 2;
    security.administratorsAce = {ACCESS_ALLOWED_ACE_TYPE, 0,
                                  offsetof(HoldSecurity, systemAce) -
                                      offsetof(HoldSecurity, administratorsAce)};
    security.administratorsMask = GENERIC_ALL;
    std::memcpy(security.administrators, kAdministratorsSid, sizeof kAdministratorsSid);
    security.systemAce = {ACCESS_ALLOWED_ACE_TYPE, 0,
                          sizeof(HoldSecurity) - offsetof(HoldSecurity, systemAce)};
    security.systemMask = GENERIC_ALL;
    std::memcpy(security.system, kSystemSid, sizeof kSystemSid);
    return security;
}

// Only an administrator (or the system) can give an object Administrators or LocalSystem as
// its owner; an object of that name owned by anyone else was made by someone who is not a copy
// of this program, and keeps no drive from it.
bool OwnedByAdministrators(HANDLE object) {
    using GetSecurity =
        BOOL(WINAPI*)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD);
    HMODULE advapi = ::GetModuleHandleA("ADVAPI32.DLL");
    const auto get = advapi != nullptr ? reinterpret_cast<GetSecurity>(reinterpret_cast<void*>(
                                             ::GetProcAddress(advapi, "GetKernelObjectSecurity")))
                                       : nullptr;
    alignas(SECURITY_DESCRIPTOR_RELATIVE) uint8_t buffer[256];
    DWORD needed = 0;
    if (get == nullptr ||
        !get(object, OWNER_SECURITY_INFORMATION, buffer, sizeof buffer, &needed)) {
        return false;
    }
    return OwnerIsAdministrators(buffer, std::min<std::size_t>(needed, sizeof buffer));
}

// The private namespace that only holders of the Administrators SID can make and that only
// Administrators and LocalSystem can open (Vista on): no one else can put a name in it first.
// Each process keeps its handle until it ends, so the namespace lasts while any copy holds a
// drive. Null when the system has no private namespaces; error says why one was not had.
HANDLE AdministratorsNamespace(DWORD& error) {
    static std::atomic<HANDLE> kept{nullptr};
    if (HANDLE namespaceHandle = kept.load()) {
        return namespaceHandle;
    }
    using CreateBoundary = HANDLE(WINAPI*)(LPCWSTR, ULONG);
    using AddSid = BOOL(WINAPI*)(HANDLE*, PSID);
    using DeleteBoundary = VOID(WINAPI*)(HANDLE);
    using CreateNamespace = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
    using OpenNamespace = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
    HMODULE kernel = ::GetModuleHandleA("KERNEL32.DLL");
    auto entry = [kernel](const char* name) {
        return kernel != nullptr ? reinterpret_cast<void*>(::GetProcAddress(kernel, name))
                                 : nullptr;
    };
    const auto createBoundary =
        reinterpret_cast<CreateBoundary>(entry("CreateBoundaryDescriptorW"));
    const auto addSid = reinterpret_cast<AddSid>(entry("AddSIDToBoundaryDescriptor"));
    const auto deleteBoundary = reinterpret_cast<DeleteBoundary>(entry("DeleteBoundaryDescriptor"));
    const auto create = reinterpret_cast<CreateNamespace>(entry("CreatePrivateNamespaceW"));
    const auto open = reinterpret_cast<OpenNamespace>(entry("OpenPrivateNamespaceW"));
    error = 0;
    if (createBoundary == nullptr || addSid == nullptr || deleteBoundary == nullptr ||
        create == nullptr || open == nullptr) {
        return nullptr;
    }
    HANDLE boundary = createBoundary(L"Zelfin", 0);
    HoldSecurity security = MakeHoldSecurity();
    uint8_t administrators[sizeof kAdministratorsSid];
    std::memcpy(administrators, kAdministratorsSid, sizeof administrators);
    if (boundary == nullptr || !addSid(&boundary, administrators)) {
        error = ::GetLastError();
        if (boundary != nullptr) {
            deleteBoundary(boundary);
        }
        return nullptr;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &security, FALSE};
    HANDLE made = nullptr;
    // Another copy may let its namespace go between our create and open: a few tries.
    for (int attempt = 0; attempt < 4 && made == nullptr; ++attempt) {
        made = create(&attributes, boundary, L"Zelfin");
        if (made == nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
            made = open(boundary, L"Zelfin");
        }
        error = made == nullptr ? ::GetLastError() : 0;
    }
    deleteBoundary(boundary);
    if (made == nullptr) {
        return nullptr;
    }
    HANDLE expected = nullptr;
    if (!kept.compare_exchange_strong(expected, made)) {
        ::CloseHandle(made); // another thread got there first: its handle serves
        return expected;
    }
    return made;
}

// A hold name that is ours or taken: a new mutex, or another copy's. Where names are judged by
// owner (the NT family without private namespaces), a name someone else made first is no copy
// of ours: the drive is left to its volume lock and the job holds an unnamed stand-in.
OpenResult HoldNamed(const char* name, LPSECURITY_ATTRIBUTES attributes, bool judgeOwner) {
    HANDLE mutex = ::CreateMutexA(attributes, FALSE, name);
    const DWORD error = ::GetLastError();
    if (mutex != nullptr && error != ERROR_ALREADY_EXISTS) {
        return OpenResult{reinterpret_cast<OsHandle>(mutex), 0};
    }
    if (mutex != nullptr && (!judgeOwner || OwnedByAdministrators(mutex))) {
        ::CloseHandle(mutex);
        return OpenResult{kInvalidHandle, kErrorBusy};
    }
    // Ours are mutexes that let Administrators in: a name we may not open, or one of another
    // kind of object, is someone else's too.
    if (mutex == nullptr &&
        !(judgeOwner && (error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE))) {
        return OpenResult{kInvalidHandle, error};
    }
    if (mutex != nullptr) {
        ::CloseHandle(mutex);
    }
    HANDLE standIn = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return standIn != nullptr ? OpenResult{reinterpret_cast<OsHandle>(standIn), 0}
                              : OpenResult{kInvalidHandle, ::GetLastError()};
}

} // namespace

bool OwnerIsAdministrators(const void* descriptor, std::size_t length) {
    const auto* bytes = static_cast<const uint8_t*>(descriptor);
    SECURITY_DESCRIPTOR_RELATIVE header;
    if (length < sizeof header) {
        return false;
    }
    std::memcpy(&header, bytes, sizeof header);
    const std::size_t owner = header.Owner;
    if ((header.Control & SE_SELF_RELATIVE) == 0 || owner == 0 || owner + 8 > length) {
        return false; // no owner, or not a layout we can read
    }
    const std::size_t sidLength = 8 + 4 * std::size_t{bytes[owner + 1]};
    auto is = [&](const uint8_t* sid, std::size_t size) {
        return sidLength == size && owner + size <= length &&
               std::memcmp(bytes + owner, sid, size) == 0;
    };
    return is(kAdministratorsSid, sizeof kAdministratorsSid) || is(kSystemSid, sizeof kSystemSid);
}

// A named mutex per drive, seen by every copy of the program; on the NT family also a lock of
// the drive's volume, which the system refuses while files on a mounted disc are open.
OpenResult Win32Session::HoldDrive(const DriveName& drive, OsHandle driveHandle) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    const bool nt = ::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    char base[kHoldNameSize];
    HoldName(drive, base);
    OpenResult held;
    if (!nt) {
        // The 95 family has neither owners nor rights: a plain name, as any program there could
        // also make.
        held = HoldNamed(base, nullptr, false);
    } else {
        HoldSecurity security = MakeHoldSecurity();
        SECURITY_ATTRIBUTES attributes{sizeof attributes, &security, FALSE};
        DWORD error = 0;
        char name[kHoldNameSize + 8];
        if (AdministratorsNamespace(error) != nullptr) {
            std::snprintf(name, sizeof name, "Zelfin\\%s", base);
            held = HoldNamed(name, &attributes, false);
        } else if (error != 0) {
            // Falling back to a name anyone can take would also miss copies that hold theirs in
            // the namespace.
            return OpenResult{kInvalidHandle, error};
        } else {
            // "Global\" names one object for every session; systems before Windows 2000 have
            // one namespace and would take the backslash as part of an invalid name.
            std::snprintf(name, sizeof name, "%s%s", version.dwMajorVersion >= 5 ? "Global\\" : "",
                          base);
            held = HoldNamed(name, &attributes, true);
        }
    }
    if (held.handle == kInvalidHandle) {
        return held;
    }
    if (nt && driveHandle != kInvalidHandle) {
        DWORD returned = 0;
        // The lock lasts until the job closes its handle.
        if (!::DeviceIoControl(AsHandle(driveHandle), FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0,
                               &returned, nullptr) &&
            !NothingMounted(::GetLastError())) {
            ::CloseHandle(AsHandle(held.handle));
            return OpenResult{kInvalidHandle, kErrorBusy};
        }
    }
    return held;
}

void Win32Session::ReleaseDrive(OsHandle hold) {
    ::CloseHandle(AsHandle(hold));
}

void Win32Session::BeginRun() {
    if (const SetExecutionState set = ExecutionStateEntry()) {
        set(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    }
    HoldConsoleStops();
}

bool Win32Session::StopHeld() {
    return ConsoleStopHeld();
}

void Win32Session::EndRun() {
    if (const SetExecutionState set = ExecutionStateEntry()) {
        set(ES_CONTINUOUS);
    }
    ReleaseConsoleStops();
}

} // namespace zelfin::win32
