#pragma once
// The one way out of the device layer to the operating system. Every call is a raw OS request
// in the OS's own vocabulary; filling request blocks and judging their results is portable code
// in device/. The Win32, Linux and simulated machines implement it.
#include "device/WinScsiTypes.h"

#include <cstddef>
#include <cstdint>

namespace zelfin {

// An OS handle (file, event, drive hold). kInvalidHandle is the value a failed file open returns;
// event creation signals failure with kNullHandle.
using OsHandle = std::uintptr_t;
inline constexpr OsHandle kInvalidHandle = ~OsHandle{0};
inline constexpr OsHandle kNullHandle = 0;

// A loaded library and an entry point looked up in it; 0 means none / missing.
using OsModule = std::uintptr_t;
using ProcAddress = std::uintptr_t;

inline constexpr uint32_t kVerPlatformWin32Windows = 1;
inline constexpr uint32_t kVerPlatformWin32Nt = 2;

inline constexpr uint32_t kDriveUnknown = 0;
inline constexpr uint32_t kDriveNoRootDir = 1;
inline constexpr uint32_t kDriveRemovable = 2;
inline constexpr uint32_t kDriveFixed = 3;
inline constexpr uint32_t kDriveRemote = 4;
inline constexpr uint32_t kDriveCdrom = 5;
inline constexpr uint32_t kDriveRamdisk = 6;

inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorInvalidFunction = 1;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorNotReady = 21;
inline constexpr uint32_t kErrorNotSupported = 50;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorSemTimeout = 121;
inline constexpr uint32_t kErrorIoDevice = 1117;
inline constexpr uint32_t kErrorBusy = 170;
inline constexpr uint32_t kErrorDeviceNotConnected = 1167;

inline constexpr uint32_t kWaitObject0 = 0;
inline constexpr uint32_t kWaitTimeout = 0x102;
inline constexpr uint32_t kInfinite = 0xFFFFFFFF;

inline constexpr uint32_t kMbOk = 0x00;
inline constexpr uint32_t kMbIconError = 0x10;

// The body of a worker thread started through the platform.
using ThreadEntry = void (*)(void* argument);

struct OsVersionInfo {
    uint32_t majorVersion = 0;
    uint32_t minorVersion = 0;
    uint32_t buildNumber = 0;
    uint32_t platformId = 0;
};

struct OpenResult {
    OsHandle handle = kInvalidHandle; // kInvalidHandle when the open failed
    uint32_t error = 0;               // GetLastError of a failed open, else 0
};

// Real addresses behind the 32-bit pointer fields of an ASPI request (see WinScsiTypes.h).
struct AspiRequestRefs {
    void* dataBuffer = nullptr;  // SRB_BufPointer of an SRB_ExecSCSICmd
    OsHandle postEvent = 0;      // SRB_PostProc of an SRB_ExecSCSICmd
    void* abortTarget = nullptr; // SRB_ToAbort of an SRB_Abort
};

class Platform {
public:
    virtual ~Platform() = default;

    // GetVersionExA with a 148-byte OSVERSIONINFOA; false when the call fails.
    virtual bool GetVersionEx(OsVersionInfo& info) = 0;

    // GetLogicalDriveStringsA: with bufferLength 0 (buffer may be null) the size the list needs
    // including its final NUL; otherwise the characters copied without the final NUL, or the
    // needed size when bufferLength is too small. 0 on failure.
    virtual uint32_t GetLogicalDriveStrings(uint32_t bufferLength, char* buffer) = 0;
    virtual uint32_t GetDriveType(const char* root) = 0;

    // The process heap: GetProcessHeap + HeapAlloc(HEAP_ZERO_MEMORY), HeapFree. Null on failure.
    virtual void* HeapAllocZeroed(std::size_t bytes) = 0;
    virtual void HeapFree(void* block) = 0;

    // CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
    // no security, OPEN_EXISTING, no flags, no template).
    virtual OpenResult CreateFile(const char* path) = 0;
    // CloseHandle of a file or event handle.
    virtual bool CloseHandle(OsHandle handle) = 0;

    // DeviceIoControl(IOCTL_SCSI_PASS_THROUGH_DIRECT) with the 80-byte block as input and
    // output; dataBuffer is the real buffer that block.sptd.DataBuffer stands for (null when
    // none). Returns the I/O control's success; when it fails, lastError is GetLastError (else
    // kErrorSuccess).
    virtual bool ScsiPassThroughDirect(OsHandle drive, PassThroughBlock& block, void* dataBuffer,
                                       uint32_t& lastError) = 0;
    // DeviceIoControl(IOCTL_SCSI_GET_ADDRESS), the 8-byte address as input and output.
    virtual bool ScsiGetAddress(OsHandle drive, ScsiAddress& address) = 0;
    // DeviceIoControl(IOCTL_STORAGE_QUERY_PROPERTY), the same bytes as input and output.
    virtual bool StorageQueryProperty(OsHandle drive, uint8_t* query, uint32_t length) = 0;

    // GetModuleFileNameA of the program itself (no module handle): the characters copied without
    // the final NUL, bufferLength when the path did not fit (it is then cut short), 0 on failure.
    virtual uint32_t GetModuleFileName(char* buffer, uint32_t bufferLength) = 0;
    // GetSystemDirectoryA: the characters copied without the final NUL, or the size needed
    // including it when bufferLength is too small; 0 on failure.
    virtual uint32_t GetSystemDirectory(char* buffer, uint32_t bufferLength) = 0;

    // LoadLibraryA / GetProcAddress / FreeLibrary. 0 when not found.
    virtual OsModule LoadLibrary(const char* name) = 0;
    virtual ProcAddress GetProcAddress(OsModule module, const char* name) = 0;
    virtual void FreeLibrary(OsModule module) = 0;
    // Calls of the two ASPI entry points; entry must be a non-zero address that GetProcAddress
    // returned for that name. srb is the request block (SRB_HAInquiry, SRB_GDEVBlock,
    // SRB_ExecSCSICmd or SRB_Abort), refs its real pointers.
    virtual uint32_t CallGetASPI32SupportInfo(ProcAddress entry) = 0;
    virtual uint32_t CallSendASPI32Command(ProcAddress entry, void* srb,
                                           const AspiRequestRefs& refs) = 0;

    // CreateEventA(no security, manual reset, not signalled, no name): kNullHandle on failure.
    virtual OsHandle CreateEvent() = 0;
    // WaitForSingleObject: kWaitObject0 or kWaitTimeout.
    virtual uint32_t WaitForSingleObject(OsHandle event, uint32_t milliseconds) = 0;

    // QueryPerformanceFrequency (false when there is no counter) and QueryPerformanceCounter.
    virtual bool QueryPerformanceFrequency(int64_t& frequency) = 0;
    virtual int64_t QueryPerformanceCounter() = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;

    // MessageBoxA without owner window.
    virtual int MessageBox(const char* text, const char* caption, uint32_t flags) = 0;

    // CreateThread(no security, default stack, entry, argument, run at once) with its handle
    // closed at once: the thread runs detached and ends when entry returns. False when no
    // thread could be started (entry is then never called).
    virtual bool CreateThread(ThreadEntry entry, void* argument) = 0;
};

} // namespace zelfin
