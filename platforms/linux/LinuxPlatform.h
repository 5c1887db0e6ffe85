#pragma once
// The Linux platform: the optical drives the kernel lists in sysfs, opened as /dev/srN, each
// pass-through request one SG_IO ioctl. There is no ASPI manager. Device and process calls go
// through LinuxCalls.
#include "device/Platform.h"
#include "platforms/linux/LinuxCalls.h"

#include <memory>
#include <string>

namespace zelfin::linuxos {

// Windows codes of the failed opens the portable code tells apart.
inline constexpr uint32_t kErrorGenFailure = 31;

// Drive roots are the kernel names of the drives ("sr0"): they must fit DriveEntry::root with
// its NUL, so a name of more than this many characters is not listed.
inline constexpr std::size_t kMaxRootName = 3;

class LinuxPlatform final : public Platform {
public:
    // The machine itself.
    LinuxPlatform();
    // Calls made through `calls`; sysfs, /dev and /run are looked up under `root` ("" for /).
    LinuxPlatform(LinuxCalls& calls, std::string root);
    ~LinuxPlatform() override = default;
    LinuxPlatform(const LinuxPlatform&) = delete;
    LinuxPlatform& operator=(const LinuxPlatform&) = delete;

    bool GetVersionEx(OsVersionInfo& info) override;
    uint32_t GetLogicalDriveStrings(uint32_t bufferLength, char* buffer) override;
    uint32_t GetDriveType(const char* root) override;
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
    std::unique_ptr<LinuxCalls> own_;
    LinuxCalls* calls_;
    std::string root_;
};

// Whether name is a kernel name of an optical drive ("sr" and a decimal number).
bool IsDriveName(const char* name);

// The Windows code for an errno of a failed device open.
uint32_t OpenErrorCode(int error);

} // namespace zelfin::linuxos
