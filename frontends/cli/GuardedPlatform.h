#pragma once
// A platform that adds to a run's guards the requests to end this process (signals, console
// events): held from BeginRun to EndRun. Every other call passes through.

#include "device/Platform.h"

namespace zelfin::cli {

// This process's end requests, as the system delivers them; see processStops().
struct ProcessStops {
    void (*hold)();
    bool (*held)();
    void (*release)();
};

class GuardedPlatform final : public Platform {
public:
    // The program's message line says when a request is being held.
    GuardedPlatform(Platform& inner, ProcessStops stops) : inner_(inner), stops_(stops) {}

    void BeginRun() override {
        inner_.BeginRun();
        stops_.hold();
    }
    bool StopHeld() override { return inner_.StopHeld() || stops_.held(); }
    // The machine's guards go first: a suspend held during the run may stop the process as
    // the requests are let go, and it must not hold off shutdown while it waits.
    void EndRun() override {
        inner_.EndRun();
        stops_.release();
    }

    bool GetVersionEx(OsVersionInfo& info) override { return inner_.GetVersionEx(info); }
    uint32_t GetLogicalDriveStrings(uint32_t bufferLength, char* buffer) override {
        return inner_.GetLogicalDriveStrings(bufferLength, buffer);
    }
    uint32_t GetDriveType(const char* root) override { return inner_.GetDriveType(root); }
    void* HeapAllocZeroed(std::size_t bytes) override { return inner_.HeapAllocZeroed(bytes); }
    void HeapFree(void* block) override { inner_.HeapFree(block); }
    OpenResult CreateFile(const char* path) override { return inner_.CreateFile(path); }
    bool CloseHandle(OsHandle handle) override { return inner_.CloseHandle(handle); }
    bool ScsiPassThroughDirect(OsHandle drive, PassThroughBlock& block, void* data,
                               uint32_t& lastError) override {
        return inner_.ScsiPassThroughDirect(drive, block, data, lastError);
    }
    bool ScsiGetAddress(OsHandle drive, ScsiAddress& address) override {
        return inner_.ScsiGetAddress(drive, address);
    }
    bool StorageQueryProperty(OsHandle drive, uint8_t* query, uint32_t length) override {
        return inner_.StorageQueryProperty(drive, query, length);
    }
    OsModule LoadLibrary(const char* name) override { return inner_.LoadLibrary(name); }
    uint32_t GetModuleFileName(char* buffer, uint32_t bufferLength) override {
        return inner_.GetModuleFileName(buffer, bufferLength);
    }
    uint32_t GetSystemDirectory(char* buffer, uint32_t bufferLength) override {
        return inner_.GetSystemDirectory(buffer, bufferLength);
    }
    ProcAddress GetProcAddress(OsModule module, const char* name) override {
        return inner_.GetProcAddress(module, name);
    }
    void FreeLibrary(OsModule module) override { inner_.FreeLibrary(module); }
    uint32_t CallGetASPI32SupportInfo(ProcAddress entry) override {
        return inner_.CallGetASPI32SupportInfo(entry);
    }
    uint32_t CallSendASPI32Command(ProcAddress entry, void* srb,
                                   const AspiRequestRefs& refs) override {
        return inner_.CallSendASPI32Command(entry, srb, refs);
    }
    OsHandle CreateEvent() override { return inner_.CreateEvent(); }
    uint32_t WaitForSingleObject(OsHandle event, uint32_t milliseconds) override {
        return inner_.WaitForSingleObject(event, milliseconds);
    }
    bool QueryPerformanceFrequency(int64_t& frequency) override {
        return inner_.QueryPerformanceFrequency(frequency);
    }
    int64_t QueryPerformanceCounter() override { return inner_.QueryPerformanceCounter(); }
    void Sleep(uint32_t milliseconds) override { inner_.Sleep(milliseconds); }
    int MessageBox(const char* text, const char* caption, uint32_t flags) override {
        return inner_.MessageBox(text, caption, flags);
    }
    bool OpenProcessToken(uint32_t access, OsHandle& token) override {
        return inner_.OpenProcessToken(access, token);
    }
    bool LookupPrivilegeValue(const char* name, Luid& luid) override {
        return inner_.LookupPrivilegeValue(name, luid);
    }
    bool AdjustTokenPrivileges(OsHandle token, const Luid& luid, uint32_t attributes,
                               uint32_t& lastError) override {
        return inner_.AdjustTokenPrivileges(token, luid, attributes, lastError);
    }
    bool ExitWindowsEx(uint32_t flags) override { return inner_.ExitWindowsEx(flags); }
    bool CreateThread(ThreadEntry entry, void* argument) override {
        return inner_.CreateThread(entry, argument);
    }
    OpenResult HoldDrive(const DriveName& drive, OsHandle driveHandle) override {
        return inner_.HoldDrive(drive, driveHandle);
    }
    void ReleaseDrive(OsHandle hold) override { inner_.ReleaseDrive(hold); }

private:
    Platform& inner_;
    ProcessStops stops_;
};

} // namespace zelfin::cli
