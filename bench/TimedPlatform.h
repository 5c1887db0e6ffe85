#pragma once
// A platform that passes every call to another and adds up the time spent inside it, so a
// run through it splits into the program's own share and the (simulated) machine's. It also
// counts the sleeps. Clock readings around each call cost a little; Calibrate measures that
// so it can be taken off.

#include "device/Platform.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <type_traits>

namespace zelfin::bench {

class TimedPlatform final : public Platform {
public:
    explicit TimedPlatform(Platform& inner) : inner_(inner) {}

    // Nanoseconds spent inside the inner platform, calls made, sleeps made.
    int64_t InsideNanoseconds() const { return inside_.load(); }
    uint64_t Calls() const { return calls_.load(); }
    uint64_t Sleeps() const { return sleeps_.load(); }
    void ResetCounts() {
        inside_ = 0;
        calls_ = 0;
        sleeps_ = 0;
    }
    // What timing one call adds to InsideNanoseconds when the call itself costs nothing.
    static double CalibrateNanosecondsPerCall();

    bool GetVersionEx(OsVersionInfo& info) override {
        return Timed([&] { return inner_.GetVersionEx(info); });
    }
    uint32_t GetLogicalDriveStrings(uint32_t bufferLength, char* buffer) override {
        return Timed([&] { return inner_.GetLogicalDriveStrings(bufferLength, buffer); });
    }
    uint32_t GetDriveType(const char* root) override {
        return Timed([&] { return inner_.GetDriveType(root); });
    }
    void* HeapAllocZeroed(std::size_t bytes) override {
        return Timed([&] { return inner_.HeapAllocZeroed(bytes); });
    }
    void HeapFree(void* block) override {
        Timed([&] { return (inner_.HeapFree(block), 0); });
    }
    OpenResult CreateFile(const char* path) override {
        return Timed([&] { return inner_.CreateFile(path); });
    }
    bool CloseHandle(OsHandle handle) override {
        return Timed([&] { return inner_.CloseHandle(handle); });
    }
    bool ScsiPassThroughDirect(OsHandle drive, PassThroughBlock& block, void* data) override {
        return Timed([&] { return inner_.ScsiPassThroughDirect(drive, block, data); });
    }
    bool ScsiGetAddress(OsHandle drive, ScsiAddress& address) override {
        return Timed([&] { return inner_.ScsiGetAddress(drive, address); });
    }
    bool StorageQueryProperty(OsHandle drive, uint8_t* query, uint32_t length) override {
        return Timed([&] { return inner_.StorageQueryProperty(drive, query, length); });
    }
    uint32_t GetModuleFileName(char* buffer, uint32_t length) override {
        return Timed([&] { return inner_.GetModuleFileName(buffer, length); });
    }
    uint32_t GetSystemDirectory(char* buffer, uint32_t length) override {
        return Timed([&] { return inner_.GetSystemDirectory(buffer, length); });
    }
    OsModule LoadLibrary(const char* name) override {
        return Timed([&] { return inner_.LoadLibrary(name); });
    }
    ProcAddress GetProcAddress(OsModule module, const char* name) override {
        return Timed([&] { return inner_.GetProcAddress(module, name); });
    }
    void FreeLibrary(OsModule module) override {
        Timed([&] { return (inner_.FreeLibrary(module), 0); });
    }
    uint32_t CallGetASPI32SupportInfo(ProcAddress entry) override {
        return Timed([&] { return inner_.CallGetASPI32SupportInfo(entry); });
    }
    uint32_t CallSendASPI32Command(ProcAddress entry, void* srb,
                                   const AspiRequestRefs& refs) override {
        return Timed([&] { return inner_.CallSendASPI32Command(entry, srb, refs); });
    }
    OsHandle CreateEvent() override {
        return Timed([&] { return inner_.CreateEvent(); });
    }
    uint32_t WaitForSingleObject(OsHandle event, uint32_t milliseconds) override {
        return Timed([&] { return inner_.WaitForSingleObject(event, milliseconds); });
    }
    bool QueryPerformanceFrequency(int64_t& frequency) override {
        return Timed([&] { return inner_.QueryPerformanceFrequency(frequency); });
    }
    int64_t QueryPerformanceCounter() override {
        return Timed([&] { return inner_.QueryPerformanceCounter(); });
    }
    void Sleep(uint32_t milliseconds) override {
        sleeps_.fetch_add(1);
        Timed([&] { return (inner_.Sleep(milliseconds), 0); });
    }
    int MessageBox(const char* text, const char* caption, uint32_t flags) override {
        return Timed([&] { return inner_.MessageBox(text, caption, flags); });
    }
    bool CreateThread(ThreadEntry entry, void* argument) override {
        return Timed([&] { return inner_.CreateThread(entry, argument); });
    }

private:
    template <typename Call> std::invoke_result_t<Call&> Timed(Call call) {
        const auto start = std::chrono::steady_clock::now();
        auto result = call();
        const auto end = std::chrono::steady_clock::now();
        inside_.fetch_add(
            std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count());
        calls_.fetch_add(1);
        return result;
    }

    Platform& inner_;
    std::atomic<int64_t> inside_{0};
    std::atomic<uint64_t> calls_{0};
    std::atomic<uint64_t> sleeps_{0};
};

} // namespace zelfin::bench
