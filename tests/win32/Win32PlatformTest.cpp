// The Win32 platform's and session's own work, under wine: what they do beyond passing a call
// through.
#include "platforms/win32/Win32Platform.h"
#include "platforms/win32/Win32Session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

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

// A name made first is another copy's only when its owner is one that only an administrator can
// set. The owner is read from what the system hands back, which may have none (wine's objects
// made without a descriptor) or be cut short.
TEST(Win32Platform, OnlyAnAdministratorsOwnerMakesAHoldNameOurs) {
    const std::vector<uint8_t> administrators{1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
    const std::vector<uint8_t> users{1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 2, 0, 0};
    const std::vector<uint8_t> system{1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    const std::vector<uint8_t> user{1, 2, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 0xE8, 3, 0, 0};
    const struct {
        const char* what;
        std::vector<uint8_t> owner;
        uint8_t ownerOffset;
        std::size_t cut; // bytes left off the end
        bool ours;
    } cases[] = {
        {"Administrators", administrators, 20, 0, true},
        {"LocalSystem", system, 20, 0, true},
        {"Users", users, 20, 0, false},
        {"a user", user, 20, 0, false},
        {"no owner", administrators, 0, 0, false},
        {"Administrators cut short", administrators, 20, 4, false},
    };
    for (const auto& c : cases) {
        // SECURITY_DESCRIPTOR_RELATIVE: revision 1, control SE_SELF_RELATIVE, owner offset.
        std::vector<uint8_t> descriptor{1, 0, 0, 0x80, c.ownerOffset, 0, 0, 0};
        descriptor.resize(20);
        descriptor.insert(descriptor.end(), c.owner.begin(), c.owner.end());
        EXPECT_EQ(OwnerIsAdministrators(descriptor.data(), descriptor.size() - c.cut), c.ours)
            << c.what;
    }
}

} // namespace
} // namespace zelfin::win32
