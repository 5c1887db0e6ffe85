#pragma once
// The real Windows machine behind the platform seam: raw ANSI Win32 calls only. The Win32
// headers stay in the .cpp (they rename several of the seam's methods by macro).
#include "device/Platform.h"

#include <cstddef>
#include <memory>

namespace zelfin::win32 {

class AspiShadows;

// Whether a self-relative security descriptor (as GetKernelObjectSecurity returns it) names
// BUILTIN\Administrators or LocalSystem as its owner: only an administrator can make such an
// object. False for no owner or a descriptor cut short.
bool OwnerIsAdministrators(const void* descriptor, std::size_t length);

class Win32Platform final : public Platform {
public:
    Win32Platform();
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    bool GetVersionEx(OsVersionInfo& info) override;
    uint32_t GetLogicalDriveStrings(uint32_t bufferLength, char* buffer) override;
    uint32_t GetDriveType(const char* root) override;
    // Blocks are page-aligned: the pass-through driver may transfer into them directly.
    void* HeapAllocZeroed(std::size_t bytes) override;
    void HeapFree(void* block) override;
    OpenResult CreateFile(const char* path) override;
    bool CloseHandle(OsHandle handle) override;
    bool ScsiPassThroughDirect(OsHandle drive, PassThroughBlock& block, void* dataBuffer,
                               uint32_t& lastError) override;
    bool ScsiGetAddress(OsHandle drive, ScsiAddress& address) override;
    bool StorageQueryProperty(OsHandle drive, uint8_t* query, uint32_t length) override;
    uint32_t GetModuleFileName(char* buffer, uint32_t bufferLength) override;
    uint32_t GetSystemDirectory(char* buffer, uint32_t bufferLength) override;
    OsModule LoadLibrary(const char* name) override;
    ProcAddress GetProcAddress(OsModule module, const char* name) override;
    void FreeLibrary(OsModule module) override;
    uint32_t CallGetASPI32SupportInfo(ProcAddress entry) override;
    uint32_t CallSendASPI32Command(ProcAddress entry, void* srb,
                                   const AspiRequestRefs& refs) override;
    OsHandle CreateEvent() override;
    uint32_t WaitForSingleObject(OsHandle event, uint32_t milliseconds) override;
    bool QueryPerformanceFrequency(int64_t& frequency) override;
    int64_t QueryPerformanceCounter() override;
    void Sleep(uint32_t milliseconds) override;
    int MessageBox(const char* text, const char* caption, uint32_t flags) override;
    bool OpenProcessToken(uint32_t access, OsHandle& token) override;
    bool LookupPrivilegeValue(const char* name, Luid& luid) override;
    bool AdjustTokenPrivileges(OsHandle token, const Luid& luid, uint32_t attributes,
                               uint32_t& lastError) override;
    bool ExitWindowsEx(uint32_t flags) override;
    bool CreateThread(ThreadEntry entry, void* argument) override;
    OpenResult HoldDrive(const DriveName& drive, OsHandle driveHandle) override;
    void ReleaseDrive(OsHandle hold) override;
    // Keeps the system awake during a run; console events are the front end's.
    void BeginRun() override;
    bool StopHeld() override { return false; }
    void EndRun() override;

private:
    // Native copies of ASPI requests in flight where the portable blocks are not the native
    // layout (x86_64); null on i686.
    std::unique_ptr<AspiShadows> shadows_;
};

} // namespace zelfin::win32
