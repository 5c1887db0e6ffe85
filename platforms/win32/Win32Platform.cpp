#include "platforms/win32/Win32Platform.h"
#include "platforms/win32/AspiLayout.h"
#include "sync/Sync.h"

#include <windows.h>

#include <ntddscsi.h>
#include <winioctl.h>

// <windows.h> maps these names to their A or W forms; the seam's methods keep the plain names and
// the bodies below call the A forms by name.
#undef GetVersionEx
#undef GetLogicalDriveStrings
#undef GetDriveType
#undef CreateFile
#undef GetModuleFileName
#undef GetSystemDirectory
#undef LoadLibrary
#undef CreateEvent
#undef MessageBox

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>

namespace zelfin::win32 {

namespace {

static_assert(kIoctlScsiPassThroughDirect == IOCTL_SCSI_PASS_THROUGH_DIRECT);
static_assert(kIoctlScsiGetAddress == IOCTL_SCSI_GET_ADDRESS);
static_assert(kIoctlStorageQueryProperty == IOCTL_STORAGE_QUERY_PROPERTY);
static_assert(kScsiIoctlDataOut == SCSI_IOCTL_DATA_OUT && kScsiIoctlDataIn == SCSI_IOCTL_DATA_IN &&
              kScsiIoctlDataUnspecified == SCSI_IOCTL_DATA_UNSPECIFIED);
static_assert(kVerPlatformWin32Windows == VER_PLATFORM_WIN32_WINDOWS &&
              kVerPlatformWin32Nt == VER_PLATFORM_WIN32_NT);
static_assert(kDriveCdrom == DRIVE_CDROM && kDriveFixed == DRIVE_FIXED);
static_assert(kWaitObject0 == WAIT_OBJECT_0 && kWaitTimeout == WAIT_TIMEOUT);
static_assert(kInfinite == INFINITE);
static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kErrorInvalidFunction == ERROR_INVALID_FUNCTION &&
              kErrorInvalidHandle == ERROR_INVALID_HANDLE &&
              kErrorNotSupported == ERROR_NOT_SUPPORTED &&
              kErrorInvalidParameter == ERROR_INVALID_PARAMETER &&
              kErrorSemTimeout == ERROR_SEM_TIMEOUT && kErrorIoDevice == ERROR_IO_DEVICE);
static_assert(sizeof(ScsiAddress) == sizeof(SCSI_ADDRESS));
static_assert(offsetof(ScsiAddress, PortNumber) == offsetof(SCSI_ADDRESS, PortNumber));
static_assert(offsetof(ScsiAddress, Lun) == offsetof(SCSI_ADDRESS, Lun));

#if defined(__i386__)
// On the release target the portable pass-through block is the SDK's structure.
using Sptd = SCSI_PASS_THROUGH_DIRECT;
using Ours = zelfin::ScsiPassThroughDirect;
static_assert(sizeof(Ours) == sizeof(Sptd));
static_assert(offsetof(Ours, ScsiStatus) == offsetof(Sptd, ScsiStatus));
static_assert(offsetof(Ours, PathId) == offsetof(Sptd, PathId));
static_assert(offsetof(Ours, TargetId) == offsetof(Sptd, TargetId));
static_assert(offsetof(Ours, Lun) == offsetof(Sptd, Lun));
static_assert(offsetof(Ours, CdbLength) == offsetof(Sptd, CdbLength));
static_assert(offsetof(Ours, SenseInfoLength) == offsetof(Sptd, SenseInfoLength));
static_assert(offsetof(Ours, DataIn) == offsetof(Sptd, DataIn));
static_assert(offsetof(Ours, DataTransferLength) == offsetof(Sptd, DataTransferLength));
static_assert(offsetof(Ours, TimeOutValue) == offsetof(Sptd, TimeOutValue));
static_assert(offsetof(Ours, DataBuffer) == offsetof(Sptd, DataBuffer));
static_assert(offsetof(Ours, SenseInfoOffset) == offsetof(Sptd, SenseInfoOffset));
static_assert(offsetof(Ours, Cdb) == offsetof(Sptd, Cdb));
#endif

constexpr std::size_t kPage = 4096;

HANDLE Handle(OsHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

OsHandle FromHandle(HANDLE handle) {
    return reinterpret_cast<OsHandle>(handle);
}

using SupportInfoEntry = DWORD(__cdecl*)();
using SendCommandEntry = DWORD(__cdecl*)(void*);

DWORD Send(ProcAddress entry, void* srb) {
    return reinterpret_cast<SendCommandEntry>(entry)(srb);
}

uint8_t LoadStatus(const uint8_t& status) {
    return std::atomic_ref<const uint8_t>(status).load(std::memory_order_acquire);
}

} // namespace

// The native copy of each portable ASPI request in flight, kept per request block so a device
// reuses its copy command after command. The manager completes the copy behind our back; the
// results are carried over to the portable block at every platform call that may follow the
// caller's wait or poll (the wait itself, the clock, Sleep, the next request).
class AspiShadows {
public:
    NativeSrbExecScsiCmd* Start(SrbExecScsiCmd& portable, const AspiRequestRefs& refs) {
        sync::Lock lock(mutex_);
        std::unique_ptr<Shadow>& slot = shadows_[&portable];
        if (!slot) {
            slot = std::make_unique<Shadow>();
        }
        Shadow& s = *slot;
        if (s.inFlight) {
            return nullptr; // the manager still owns the previous request in this block
        }
        NativeSrbExecScsiCmd& n = s.native;
        std::memset(&n, 0, sizeof(n));
        n.SRB_Cmd = portable.SRB_Cmd;
        n.SRB_HaId = portable.SRB_HaId;
        n.SRB_Flags = portable.SRB_Flags;
        n.SRB_Target = portable.SRB_Target;
        n.SRB_Lun = portable.SRB_Lun;
        n.SRB_BufLen = portable.SRB_BufLen;
        n.SRB_BufPointer = static_cast<uint8_t*>(refs.dataBuffer);
        n.SRB_SenseLen = portable.SRB_SenseLen;
        n.SRB_CDBLen = portable.SRB_CDBLen;
        n.SRB_PostProc = reinterpret_cast<void*>(refs.postEvent);
        std::memcpy(n.CDBByte, portable.CDBByte, sizeof(n.CDBByte));
        s.portable = &portable;
        s.inFlight = true;
        ++inFlight_;
        return &n;
    }

    void* NativeOf(const void* portable) {
        sync::Lock lock(mutex_);
        auto it = shadows_.find(portable);
        return it == shadows_.end() ? nullptr : &it->second->native;
    }

    void CarryOver() {
        if (inFlight_.load() == 0) {
            return;
        }
        sync::Lock lock(mutex_);
        for (auto& [portable, s] : shadows_) {
            if (!s->inFlight) {
                continue;
            }
            const uint8_t status = LoadStatus(s->native.SRB_Status);
            if (status != kSsPending) {
                SrbExecScsiCmd& p = *s->portable;
                p.SRB_HaStat = s->native.SRB_HaStat;
                p.SRB_TargStat = s->native.SRB_TargStat;
                std::memcpy(p.SenseArea, s->native.SenseArea, sizeof(p.SenseArea));
                s->inFlight = false;
                --inFlight_;
            }
            std::atomic_ref<uint8_t>(s->portable->SRB_Status)
                .store(status, std::memory_order_release);
        }
    }

private:
    struct Shadow {
        NativeSrbExecScsiCmd native{};
        SrbExecScsiCmd* portable = nullptr;
        bool inFlight = false;
    };
    sync::Mutex mutex_;
    std::map<const void*, std::unique_ptr<Shadow>> shadows_;
    std::atomic<int> inFlight_{0};
};

Win32Platform::Win32Platform() {
    if constexpr (sizeof(void*) != 4) {
        shadows_ = std::make_unique<AspiShadows>();
    }
}

Win32Platform::~Win32Platform() = default;

bool Win32Platform::GetVersionEx(OsVersionInfo& info) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!::GetVersionExA(&version)) {
        return false;
    }
    info.majorVersion = version.dwMajorVersion;
    info.minorVersion = version.dwMinorVersion;
    info.buildNumber = version.dwBuildNumber;
    info.platformId = version.dwPlatformId;
    return true;
}

uint32_t Win32Platform::GetLogicalDriveStrings(uint32_t bufferLength, char* buffer) {
    return ::GetLogicalDriveStringsA(bufferLength, buffer);
}

uint32_t Win32Platform::GetDriveType(const char* root) {
    return ::GetDriveTypeA(root);
}

void* Win32Platform::HeapAllocZeroed(std::size_t bytes) {
    // One page more than asked: room to move the block up to a page boundary, with the heap's
    // own address kept in the word just below it.
    if (bytes > SIZE_MAX - kPage) {
        return nullptr;
    }
    void* raw = ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, bytes + kPage);
    if (raw == nullptr) {
        return nullptr;
    }
    const auto at = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (at + sizeof(void*) + kPage - 1) & ~std::uintptr_t{kPage - 1};
    reinterpret_cast<void**>(aligned)[-1] = raw;
    return reinterpret_cast<void*>(aligned);
}

void Win32Platform::HeapFree(void* block) {
    if (block != nullptr) {
        ::HeapFree(::GetProcessHeap(), 0, static_cast<void**>(block)[-1]);
    }
}

OpenResult Win32Platform::CreateFile(const char* path) {
    HANDLE handle =
        ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return OpenResult{kInvalidHandle, error};
    }
    return OpenResult{FromHandle(handle), 0};
}

bool Win32Platform::CloseHandle(OsHandle handle) {
    return ::CloseHandle(Handle(handle)) != FALSE;
}

bool Win32Platform::ScsiPassThroughDirect(OsHandle drive, PassThroughBlock& block, void* dataBuffer,
                                          uint32_t& lastError) {
    DWORD returned = 0;
#if defined(__i386__)
    block.sptd.DataBuffer = static_cast<uint32_t>(reinterpret_cast<std::uintptr_t>(dataBuffer));
    const bool ok =
        ::DeviceIoControl(Handle(drive), IOCTL_SCSI_PASS_THROUGH_DIRECT, &block, sizeof(block),
                          &block, sizeof(block), &returned, nullptr) != FALSE;
    lastError = ok ? kErrorSuccess : ::GetLastError();
    return ok;
#else
    // The SDK's structure is wider here (a 64-bit DataBuffer): carry the request over and back.
    struct Native {
        SCSI_PASS_THROUGH_DIRECT sptd;
        ULONG filler;
        UCHAR sense[32];
    } native{};
    const zelfin::ScsiPassThroughDirect& in = block.sptd;
    native.sptd.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    native.sptd.PathId = in.PathId;
    native.sptd.TargetId = in.TargetId;
    native.sptd.Lun = in.Lun;
    native.sptd.CdbLength = in.CdbLength;
    native.sptd.SenseInfoLength = std::min<UCHAR>(in.SenseInfoLength, sizeof(native.sense));
    native.sptd.DataIn = in.DataIn;
    native.sptd.DataTransferLength = in.DataTransferLength;
    native.sptd.TimeOutValue = in.TimeOutValue;
    native.sptd.DataBuffer = dataBuffer;
    native.sptd.SenseInfoOffset = offsetof(Native, sense);
    std::memcpy(native.sptd.Cdb, in.Cdb, sizeof(native.sptd.Cdb));
    const bool ok =
        ::DeviceIoControl(Handle(drive), IOCTL_SCSI_PASS_THROUGH_DIRECT, &native, sizeof(native),
                          &native, sizeof(native), &returned, nullptr) != FALSE;
    lastError = ok ? kErrorSuccess : ::GetLastError();
    block.sptd.ScsiStatus = native.sptd.ScsiStatus;
    block.sptd.DataTransferLength = native.sptd.DataTransferLength;
    const std::size_t senseAt = block.sptd.SenseInfoOffset;
    if (senseAt <= sizeof(block)) {
        const std::size_t room =
            std::min<std::size_t>(block.sptd.SenseInfoLength, sizeof(block) - senseAt);
        std::memcpy(reinterpret_cast<uint8_t*>(&block) + senseAt, native.sense,
                    std::min(room, sizeof(native.sense)));
    }
    return ok;
#endif
}

bool Win32Platform::ScsiGetAddress(OsHandle drive, ScsiAddress& address) {
    DWORD returned = 0;
    return ::DeviceIoControl(Handle(drive), IOCTL_SCSI_GET_ADDRESS, &address, sizeof(address),
                             &address, sizeof(address), &returned, nullptr) != FALSE;
}

bool Win32Platform::StorageQueryProperty(OsHandle drive, uint8_t* query, uint32_t length) {
    DWORD returned = 0;
    return ::DeviceIoControl(Handle(drive), IOCTL_STORAGE_QUERY_PROPERTY, query, length, query,
                             length, &returned, nullptr) != FALSE;
}

uint32_t Win32Platform::GetModuleFileName(char* buffer, uint32_t bufferLength) {
    return ::GetModuleFileNameA(nullptr, buffer, bufferLength);
}

uint32_t Win32Platform::GetSystemDirectory(char* buffer, uint32_t bufferLength) {
    return ::GetSystemDirectoryA(buffer, bufferLength);
}

OsModule Win32Platform::LoadLibrary(const char* name) {
    return reinterpret_cast<OsModule>(::LoadLibraryA(name));
}

ProcAddress Win32Platform::GetProcAddress(OsModule module, const char* name) {
    return reinterpret_cast<ProcAddress>(::GetProcAddress(reinterpret_cast<HMODULE>(module), name));
}

void Win32Platform::FreeLibrary(OsModule module) {
    ::FreeLibrary(reinterpret_cast<HMODULE>(module));
}

uint32_t Win32Platform::CallGetASPI32SupportInfo(ProcAddress entry) {
    return reinterpret_cast<SupportInfoEntry>(entry)();
}

uint32_t Win32Platform::CallSendASPI32Command(ProcAddress entry, void* srb,
                                              const AspiRequestRefs& refs) {
    if (!shadows_) {
        // The portable blocks are the native ones; their pointer fields hold the real values.
        return Send(entry, srb);
    }
    const uint8_t command = static_cast<const uint8_t*>(srb)[0];
    if (command == kScExecScsiCmd) {
        auto& portable = *static_cast<SrbExecScsiCmd*>(srb);
        NativeSrbExecScsiCmd* native = shadows_->Start(portable, refs);
        if (native == nullptr) {
            portable.SRB_Status = kSsErr;
            return kSsErr;
        }
        const DWORD result = Send(entry, native);
        shadows_->CarryOver();
        return result;
    }
    if (command == kScAbortSrb) {
        auto& portable = *static_cast<SrbAbort*>(srb);
        NativeSrbAbort native{};
        native.SRB_Cmd = portable.SRB_Cmd;
        native.SRB_HaId = portable.SRB_HaId;
        native.SRB_Flags = portable.SRB_Flags;
        native.SRB_ToAbort = shadows_->NativeOf(refs.abortTarget);
        const DWORD result = Send(entry, &native);
        portable.SRB_Status = native.SRB_Status;
        shadows_->CarryOver();
        return result;
    }
    return Send(entry, srb); // inquiries carry no pointers: the same layout on both widths
}

OsHandle Win32Platform::CreateEvent() {
    return FromHandle(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

uint32_t Win32Platform::WaitForSingleObject(OsHandle event, uint32_t milliseconds) {
    const DWORD result = ::WaitForSingleObject(Handle(event), milliseconds);
    if (shadows_) {
        shadows_->CarryOver();
    }
    return result;
}

bool Win32Platform::QueryPerformanceFrequency(int64_t& frequency) {
    LARGE_INTEGER value{};
    if (!::QueryPerformanceFrequency(&value) || value.QuadPart == 0) {
        return false;
    }
    frequency = value.QuadPart;
    return true;
}

int64_t Win32Platform::QueryPerformanceCounter() {
    if (shadows_) {
        shadows_->CarryOver();
    }
    LARGE_INTEGER value{};
    ::QueryPerformanceCounter(&value);
    return value.QuadPart;
}

void Win32Platform::Sleep(uint32_t milliseconds) {
    ::Sleep(milliseconds);
    if (shadows_) {
        shadows_->CarryOver();
    }
}

int Win32Platform::MessageBox(const char* text, const char* caption, uint32_t flags) {
    return ::MessageBoxA(nullptr, text, caption, flags);
}

bool Win32Platform::CreateThread(ThreadEntry entry, void* argument) {
    return sync::startDetached(entry, argument);
}

} // namespace zelfin::win32
