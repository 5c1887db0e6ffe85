#pragma once
// A platform that passes every call through and writes one line for every SCSI command that
// crosses it, in the simulator's transcript format, so a real drive and a simulated one can be
// traced alike. Pass-through requests are written when they return; an ASPI request when the
// caller next looks at its completion (event wait, clock reading or another ASPI call).

#include "device/Platform.h"

#include "sync/Sync.h"
#include <cstdio>
#include <vector>

namespace zelfin::cli {

class TracingPlatform final : public Platform {
public:
    // `out` must stay open for the life of the object; each line is flushed as written.
    TracingPlatform(Platform& inner, std::FILE* out);
    ~TracingPlatform() override;
    TracingPlatform(const TracingPlatform&) = delete;
    TracingPlatform& operator=(const TracingPlatform&) = delete;

    bool GetVersionEx(OsVersionInfo& info) override { return inner_.GetVersionEx(info); }
    uint32_t GetLogicalDriveStrings(uint32_t bufferLength, char* buffer) override {
        return inner_.GetLogicalDriveStrings(bufferLength, buffer);
    }
    uint32_t GetDriveType(const char* root) override { return inner_.GetDriveType(root); }
    void* HeapAllocZeroed(std::size_t bytes) override { return inner_.HeapAllocZeroed(bytes); }
    void HeapFree(void* block) override { inner_.HeapFree(block); }
    OpenResult CreateFile(const char* path) override { return inner_.CreateFile(path); }
    bool CloseHandle(OsHandle handle) override { return inner_.CloseHandle(handle); }
    bool ScsiPassThroughDirect(OsHandle drive, PassThroughBlock& block, void* dataBuffer) override;
    bool ScsiGetAddress(OsHandle drive, ScsiAddress& address) override {
        return inner_.ScsiGetAddress(drive, address);
    }
    bool StorageQueryProperty(OsHandle drive, uint8_t* query, uint32_t length) override {
        return inner_.StorageQueryProperty(drive, query, length);
    }
    uint32_t GetModuleFileName(char* buffer, uint32_t bufferLength) override {
        return inner_.GetModuleFileName(buffer, bufferLength);
    }
    uint32_t GetSystemDirectory(char* buffer, uint32_t bufferLength) override {
        return inner_.GetSystemDirectory(buffer, bufferLength);
    }
    OsModule LoadLibrary(const char* name) override { return inner_.LoadLibrary(name); }
    ProcAddress GetProcAddress(OsModule module, const char* name) override {
        return inner_.GetProcAddress(module, name);
    }
    void FreeLibrary(OsModule module) override { inner_.FreeLibrary(module); }
    uint32_t CallGetASPI32SupportInfo(ProcAddress entry) override {
        return inner_.CallGetASPI32SupportInfo(entry);
    }
    uint32_t CallSendASPI32Command(ProcAddress entry, void* srb,
                                   const AspiRequestRefs& refs) override;
    OsHandle CreateEvent() override { return inner_.CreateEvent(); }
    uint32_t WaitForSingleObject(OsHandle event, uint32_t milliseconds) override;
    bool QueryPerformanceFrequency(int64_t& frequency) override {
        return inner_.QueryPerformanceFrequency(frequency);
    }
    int64_t QueryPerformanceCounter() override;
    void Sleep(uint32_t milliseconds) override { inner_.Sleep(milliseconds); }
    int MessageBox(const char* text, const char* caption, uint32_t flags) override {
        return inner_.MessageBox(text, caption, flags);
    }
    bool CreateThread(ThreadEntry entry, void* argument) override {
        return inner_.CreateThread(entry, argument);
    }

private:
    struct PendingExec {
        const SrbExecScsiCmd* srb;
        sync::ThreadId owner;
        int64_t startTicks;
    };

    double SecondsSince(int64_t startTicks, int64_t nowTicks) const;
    // Writes the lines of this thread's ASPI requests that have completed by now.
    void RetireCompleted(int64_t nowTicks);
    void WriteExec(const SrbExecScsiCmd& srb, double seconds);
    void WriteLine(const std::string& line);

    Platform& inner_;
    std::FILE* out_;
    int64_t frequency_ = 0;
    sync::Mutex mutex_;
    std::vector<PendingExec> pending_;
};

} // namespace zelfin::cli
