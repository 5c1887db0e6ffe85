// The device object's state: construction, selecting and closing drives, and job copies.
#include "DeviceTestSupport.h"

#include <gtest/gtest.h>

namespace zelfin::testing {
namespace {

void ExpectNoCurrentDrive(const AtapiDevice& device) {
    EXPECT_EQ(device.GetCurrentIndex(), kNoCurrentDrive);
    EXPECT_EQ(device.Adapter(), -1);
    EXPECT_EQ(device.Target(), -1);
    EXPECT_EQ(device.Lun(), -1);
    EXPECT_EQ(device.PathId(), -1);
    EXPECT_EQ(device.DriveHandle(), kInvalidHandle);
}

TEST(DeviceObject, StartsWithNoDriveDefaultTimeoutAndBothBuffers) {
    NtMachine nt;
    AtapiDevice device(nt.machine, false);
    ExpectNoCurrentDrive(device);
    EXPECT_EQ(device.timeoutSeconds, 108000u);
    EXPECT_EQ(device.readCapacity, kBufferCapacity);
    EXPECT_EQ(device.writeCapacity, kBufferCapacity);
    EXPECT_NE(device.readBuffer, device.writeBuffer);
    EXPECT_EQ(device.GetDriveCount(), 0);
    EXPECT_EQ(device.lastOsError, 0u);
    EXPECT_EQ(device.resultCode, 0);
    EXPECT_EQ(device.jobFailed, 0);
}

TEST(DeviceObject, FailedBufferAllocationLeavesCapacityZero) {
    NtMachine nt;
    nt.machine.SetHeapFailureSize(kBufferCapacity);
    AtapiDevice device(nt.machine, true);
    EXPECT_EQ(device.readBuffer, nullptr);
    EXPECT_EQ(device.readCapacity, 0u);
    EXPECT_EQ(device.writeCapacity, 0u);
    ASSERT_TRUE(device.SelectDrive(0));
    EXPECT_FALSE(device.Inquiry(0, 0, 0, 96, 0));
    EXPECT_EQ(device.LastResult().refusal, Refusal::NoBuffer);
    EXPECT_TRUE(device.TestUnitReady()) << "commands without data still work";
}

TEST(SelectDrive, OpensOneHandleAndKeepsItWhileCurrent) {
    NtMachine nt(2);
    AtapiDevice device(nt.machine, true);
    ASSERT_EQ(device.GetDriveCount(), 2);
    const uint32_t opensAfterScan = nt.machine.OpenCount('D');

    ASSERT_TRUE(device.SelectDrive(0));
    EXPECT_EQ(device.GetCurrentIndex(), 0);
    EXPECT_EQ(device.Adapter(), 1);
    EXPECT_EQ(device.Target(), 0);
    EXPECT_EQ(std::string(device.Identity().productId), "DVDRW RVM-270A  ");
    EXPECT_EQ(nt.machine.OpenHandleCount(), 1);

    ASSERT_TRUE(device.SelectDrive(0));
    EXPECT_EQ(nt.machine.OpenCount('D'), opensAfterScan + 1) << "no reopen of the current drive";

    EXPECT_FALSE(device.SelectDrive(5)) << "empty slot";
    EXPECT_EQ(device.GetCurrentIndex(), 0);
    EXPECT_TRUE(device.TestUnitReady());

    ASSERT_TRUE(device.SelectDrive(1));
    EXPECT_EQ(device.Target(), 1);
    EXPECT_EQ(nt.machine.OpenHandleCount(), 1) << "the previous drive was closed";

    device.CloseDrive();
    ExpectNoCurrentDrive(device);
    EXPECT_EQ(nt.machine.OpenHandleCount(), 0);
    EXPECT_EQ(nt.machine.BadHandleUses(), 0u);
}

TEST(SelectDrive, FailedOpenRecordsTheErrorAndLeavesNoDrive) {
    NtMachine nt(2);
    AtapiDevice device(nt.machine, true);
    nt.machine.SetOpenError('D', kErrorAccessDenied);

    EXPECT_FALSE(device.SelectDrive(0));
    EXPECT_EQ(device.lastOsError, kErrorAccessDenied);
    EXPECT_EQ(device.GetCurrentIndex(), kFailedSelection);
    EXPECT_EQ(device.Adapter(), -1);
    EXPECT_EQ(device.DriveHandle(), kInvalidHandle);
    EXPECT_FALSE(device.SelectDrive(kFailedSelection)) << "a failed selection is not current";
    EXPECT_FALSE(device.TestUnitReady());
    EXPECT_EQ(device.LastResult().refusal, Refusal::NoDrive);

    ASSERT_TRUE(device.SelectDrive(1));
    EXPECT_EQ(device.lastOsError, kErrorAccessDenied) << "never cleared by a later open";
}

TEST(SelectDrive, UnderAspiOpensNoHandle) {
    sim::SimMachine machine(sim::OsFamily::Windows95);
    machine.Aspi().installed = true;
    sim::SimDrive& drive = machine.NewDrive();
    machine.AddAspiDevice(0, 3, 0, kDtypeCdrom, &drive);
    AtapiDevice device(machine, true);
    ASSERT_EQ(device.GetDriveCount(), 1);

    ASSERT_TRUE(device.SelectDrive(0));
    EXPECT_EQ(device.DriveHandle(), kInvalidHandle);
    EXPECT_EQ(device.Target(), 3);
    EXPECT_TRUE(device.TestUnitReady() || device.resultCode == 2) << "reaches the drive";
    EXPECT_FALSE(device.LastCommandRefused());

    device.CloseDrive();
    ExpectNoCurrentDrive(device);
}

TEST(DriveList, GetEntryStopsAtTheDriveCount) {
    NtMachine nt(2);
    AtapiDevice device(nt.machine, true);
    ASSERT_NE(device.GetEntry(1), nullptr);
    EXPECT_EQ(device.GetEntry(2), nullptr);
    EXPECT_EQ(device.GetEntry(16), nullptr);
    EXPECT_EQ(device.IsPresent(1), 1);
    EXPECT_EQ(device.IsPresent(2), 0);
    EXPECT_EQ(device.IsPresent(-1), 0);
    EXPECT_EQ(device.IsPresent(127), 0);
}

TEST(CopyStateTo, GivesTheJobTheListButNeverTheMastersHandle) {
    NtMachine nt(2);
    AtapiDevice master(nt.machine, true);
    master.SetTimeout(77);
    ASSERT_TRUE(master.SelectDrive(1));
    const OsHandle masterHandle = master.DriveHandle();
    {
        AtapiDevice job(nt.machine, false);
        master.CopyStateTo(&job);
        EXPECT_EQ(job.GetDriveCount(), 2);
        EXPECT_EQ(job.timeoutSeconds, 77u);
        EXPECT_EQ(std::string(job.GetEntry(1)->root), "E:\\");
        ExpectNoCurrentDrive(job);

        ASSERT_TRUE(job.SelectDrive(1));
        EXPECT_NE(job.DriveHandle(), masterHandle);
        EXPECT_EQ(nt.machine.OpenHandleCount(), 2);
        EXPECT_TRUE(job.TestUnitReady());
    }
    EXPECT_EQ(nt.machine.OpenHandleCount(), 1) << "the job closed only its own handle";
    EXPECT_EQ(master.DriveHandle(), masterHandle);
    EXPECT_TRUE(master.TestUnitReady());
    EXPECT_EQ(nt.machine.BadHandleUses(), 0u);

    master.CopyStateTo(nullptr); // nothing happens
}

TEST(CopyStateTo, JobKeepsItsOwnBuffersAndResults) {
    NtMachine nt;
    AtapiDevice master(nt.machine, true);
    ASSERT_TRUE(master.SelectDrive(0));
    ASSERT_TRUE(master.Inquiry(0, 0, 0, 96, 0));
    AtapiDevice job(nt.machine, false);
    master.CopyStateTo(&job);
    EXPECT_NE(job.readBuffer, master.readBuffer);
    EXPECT_EQ(job.transferred, 0u);
    EXPECT_EQ(job.jobFailed, 0);
}

TEST(DeviceObject, DestructionClosesTheOpenDrive) {
    NtMachine nt;
    {
        AtapiDevice device(nt.machine, true);
        ASSERT_TRUE(device.SelectDrive(0));
        EXPECT_EQ(nt.machine.OpenHandleCount(), 1);
    }
    EXPECT_EQ(nt.machine.OpenHandleCount(), 0);
    EXPECT_EQ(nt.machine.LiveHeapBlocks(), 0u) << "both buffers freed";
    EXPECT_EQ(nt.machine.BadHandleUses(), 0u);
}

} // namespace
} // namespace zelfin::testing
