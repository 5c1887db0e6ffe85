// Drive-state operations: readiness waits, unit attention, disc and tray.
#include "DeviceTestSupport.h"

#include <gtest/gtest.h>

namespace zelfin::testing {
namespace {

class DriveState : public ::testing::Test {
protected:
    DriveState() : device(nt.machine, true) {
        EXPECT_TRUE(device.SelectDrive(0));
        drive().ClearTranscript();
    }
    sim::SimDrive& drive() { return *nt.drives[0]; }
    uint32_t TestUnitReadyCount() {
        uint32_t count = 0;
        for (const sim::TranscriptRecord& r : drive().Transcript()) {
            count += r.cdb[0] == 0x00 ? 1 : 0;
        }
        return count;
    }

    NtMachine nt{1};
    AtapiDevice device;
};

TEST_F(DriveState, WaitReadyPollsEvery300msUntilReady) {
    drive().SetBecomingReady(10);
    const double start = nt.machine.NowSeconds();
    EXPECT_TRUE(device.WaitReady(60));
    EXPECT_EQ(TestUnitReadyCount(), 12u) << "10 not ready, 1 ready, 1 final";
    EXPECT_NEAR(nt.machine.NowSeconds() - start, 10 * 0.3, 0.01);
    EXPECT_FALSE(device.generalWatch.IsRunning());
}

TEST_F(DriveState, WaitReadyGivesUpAtTheLimit) {
    drive().SetBecomingReady(UINT32_MAX);
    const double start = nt.machine.NowSeconds();
    EXPECT_FALSE(device.WaitReady(120));
    const double waited = nt.machine.NowSeconds() - start;
    EXPECT_GE(waited, 120.0);
    EXPECT_LT(waited, 120.4);
    EXPECT_TRUE(device.SenseIs(0x02, 0x04)) << "the final TEST UNIT READY's sense stays";
}

TEST_F(DriveState, WaitReadyWithoutLimitWaitsAsLongAsItTakes) {
    drive().SetBecomingReady(1000); // five minutes of polling
    EXPECT_TRUE(device.WaitReady(0));
    EXPECT_EQ(TestUnitReadyCount(), 1002u);
}

TEST_F(DriveState, WaitReadyAlsoWaitsOutUnitAttentionButNotOtherErrors) {
    drive().QueueUnitAttention();
    drive().QueueUnitAttention(sim::kMediumChanged);
    EXPECT_TRUE(device.WaitReady(30));
    EXPECT_EQ(TestUnitReadyCount(), 4u);

    drive().SetDisc(sim::Disc::Absent);
    drive().ClearTranscript();
    const double start = nt.machine.NowSeconds();
    EXPECT_TRUE(device.WaitReady(30)) << "no medium ends the wait at once";
    EXPECT_EQ(drive().Transcript().size(), 2u);
    EXPECT_LT(nt.machine.NowSeconds() - start, 0.01);
}

TEST_F(DriveState, WaitReadyStopsOnRefusedCommands) {
    drive().SetBecomingReady(UINT32_MAX);
    device.TestUnitReady(); // leaves 02/04 behind
    device.CloseDrive();
    const double start = nt.machine.NowSeconds();
    EXPECT_TRUE(device.WaitReady(60)) << "stale sense is not a reason to wait";
    EXPECT_LT(nt.machine.NowSeconds() - start, 0.01);
}

TEST_F(DriveState, WaitReadyIsBoundedWithoutAPerformanceCounter) {
    nt.machine.SetPerformanceCounterAvailable(false);
    AtapiDevice blind(nt.machine, true);
    ASSERT_TRUE(blind.SelectDrive(0));
    drive().SetBecomingReady(UINT32_MAX);
    const double start = nt.machine.NowSeconds();
    EXPECT_FALSE(blind.WaitReady(3));
    EXPECT_NEAR(nt.machine.NowSeconds() - start, 3.0, 0.31);
}

TEST_F(DriveState, ClearUnitAttentionRepeatsOnlyWhileItIsReported) {
    drive().QueueUnitAttention();
    drive().QueueUnitAttention();
    device.ClearUnitAttention();
    EXPECT_EQ(TestUnitReadyCount(), 3u);

    drive().ClearTranscript();
    drive().SetDisc(sim::Disc::Absent);
    device.ClearUnitAttention();
    EXPECT_EQ(drive().Transcript().size(), 1u) << "another sense key ends it";
}

TEST_F(DriveState, ClearUnitAttentionIsBoundedAndEndsOnRefusal) {
    drive().InjectFault({0x00, 0, sim::Fault::Kind::Sense, sim::kPowerOnReset});
    device.ClearUnitAttention();
    EXPECT_EQ(TestUnitReadyCount(), static_cast<uint32_t>(kUnitAttentionAttempts));

    device.CloseDrive(); // sense 06 stays behind
    device.ClearUnitAttention();
    EXPECT_EQ(TestUnitReadyCount(), static_cast<uint32_t>(kUnitAttentionAttempts));
}

TEST_F(DriveState, IsDiscAbsentReadsTheSenseAfterTheWait) {
    EXPECT_FALSE(device.IsDiscAbsent());
    drive().SetDisc(sim::Disc::Absent);
    EXPECT_TRUE(device.IsDiscAbsent());
    drive().SetTrayOpen(true);
    EXPECT_TRUE(device.IsDiscAbsent()) << "02/3A/02 is no medium too";

    drive().SetDisc(sim::Disc::Present);
    drive().SetTrayOpen(false);
    drive().SetBecomingReady(20);
    EXPECT_FALSE(device.IsDiscAbsent()) << "the wait ran until the disc was ready";

    device.TestUnitReady();
    drive().SetDisc(sim::Disc::Absent);
    device.TestUnitReady(); // 02/3A left behind
    device.CloseDrive();
    EXPECT_FALSE(device.IsDiscAbsent()) << "stale sense says nothing about the drive";
}

TEST_F(DriveState, IsTrayOpenFollowsTheMediaStatusByte) {
    EXPECT_FALSE(device.IsTrayOpen());
    EXPECT_TRUE(device.EjectTray());
    EXPECT_TRUE(drive().TrayOpen());
    EXPECT_TRUE(device.IsTrayOpen());
    EXPECT_TRUE(device.LoadTray());
    EXPECT_FALSE(device.IsTrayOpen());

    drive().SetTrayOpen(true);
    drive().InjectFault({0x4A, 1, sim::Fault::Kind::Sense, {0x05, 0x24, 0x00}});
    EXPECT_FALSE(device.IsTrayOpen()) << "a failed query is not an open tray";

    // A drive without media events answers the header alone: an earlier command's byte 5 must
    // not be read as its tray status.
    drive().SetMediaEvents(false);
    device.readBuffer[5] = 0x01;
    EXPECT_FALSE(device.IsTrayOpen());
}

TEST_F(DriveState, LockedDiscRefusesEjectAndLoadBecomesReady) {
    drive().SetDisc(sim::Disc::Locked);
    EXPECT_FALSE(device.EjectTray());
    EXPECT_TRUE(device.SenseIs(0x05, 0x53));
    EXPECT_FALSE(drive().TrayOpen());

    drive().SetDisc(sim::Disc::Present);
    drive().SetLoadReadyAnswers(5);
    ASSERT_TRUE(device.EjectTray());
    ASSERT_TRUE(device.LoadTray());
    EXPECT_TRUE(device.WaitReady(120));
    EXPECT_TRUE(device.TestUnitReady());
    EXPECT_TRUE(device.StopDisc());
}

} // namespace
} // namespace zelfin::testing
