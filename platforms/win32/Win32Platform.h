#pragma once
// The real Windows machine behind the platform seam: raw ANSI Win32 calls only. The Win32
// headers stay in the .cpp (they rename several of the seam's methods by macro).
#include "device/Platform.h"

#include <cstddef>
#include <memory>

namespace zelfin::win32 {

class AspiShadows;

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
    bool CreateThread(ThreadEntry entry, void* argument) override;

private:
    // Native copies of ASPI requests in flight where the portable blocks are not the native
    // layout (x86_64); null on i686.
    std::unique_ptr<AspiShadows> shadows_;
};

} // namespace zelfin::win32
