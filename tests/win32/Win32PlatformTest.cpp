// The Win32 platform's own work, under wine: what it does beyond passing a call through.
#include "platforms/win32/Win32Platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace zelfin::win32 {
namespace {

// Data buffers go to the pass-through driver as they are: page-aligned, zeroed, and each block
// freed through its own heap address.
TEST(Win32Platform, HeapBlocksArePageAlignedAndZeroed) {
    Win32Platform os;
    for (const std::size_t bytes : {std::size_t{1}, std::size_t{4096}, std::size_t{65536 + 7}}) {
        auto* block = static_cast<uint8_t*>(os.HeapAllocZeroed(bytes));
        ASSERT_NE(block, nullptr) << bytes;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 4096, 0u) << bytes;
        for (std::size_t i = 0; i < bytes; ++i) {
            ASSERT_EQ(block[i], 0) << bytes << " at " << i;
        }
        block[bytes - 1] = 0xAA; // the whole block is ours
        os.HeapFree(block);
    }
    EXPECT_EQ(os.HeapAllocZeroed(SIZE_MAX - 100), nullptr);
}

TEST(Win32Platform, AnswersTheMachineQueriesInTheSeamsTerms) {
    Win32Platform os;
    OsVersionInfo version;
    ASSERT_TRUE(os.GetVersionEx(version));
    EXPECT_TRUE(version.platformId == kVerPlatformWin32Nt ||
                version.platformId == kVerPlatformWin32Windows);

    // The drive list: its size first, then the letters, C: among them.
    const uint32_t needed = os.GetLogicalDriveStrings(0, nullptr);
    ASSERT_GT(needed, 4u);
    std::string list(needed, '\xFF');
    EXPECT_EQ(os.GetLogicalDriveStrings(needed, list.data()), needed - 1);
    EXPECT_NE(list.find(std::string("C:\\\0", 4)), std::string::npos);
    EXPECT_EQ(os.GetDriveType("C:\\"), kDriveFixed);

    const OpenResult missing = os.CreateFile("C:\\no such folder\\no such file");
    EXPECT_EQ(missing.handle, kInvalidHandle);
    EXPECT_NE(missing.error, 0u);

    int64_t frequency = 0;
    ASSERT_TRUE(os.QueryPerformanceFrequency(frequency));
    EXPECT_GT(frequency, 0);
    const int64_t before = os.QueryPerformanceCounter();
    os.Sleep(5);
    EXPECT_GT(os.QueryPerformanceCounter(), before);
}

// Events are created unsignalled and manual-reset: a wait with nothing coming times out.
TEST(Win32Platform, EventsStartUnsignalledAndThreadsRun) {
    Win32Platform os;
    const OsHandle event = os.CreateEvent();
    ASSERT_NE(event, kNullHandle);
    EXPECT_EQ(os.WaitForSingleObject(event, 10), kWaitTimeout);
    EXPECT_TRUE(os.CloseHandle(event));

    std::atomic<bool> ran{false};
    ASSERT_TRUE(os.CreateThread([](void* r) { *static_cast<std::atomic<bool>*>(r) = true; }, &ran));
    for (int i = 0; i < 1000 && !ran; ++i) {
        os.Sleep(1);
    }
    EXPECT_TRUE(ran);
}

} // namespace
} // namespace zelfin::win32
