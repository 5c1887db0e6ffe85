// The simulated drive's flash model, where the programming tests do not already reach it.
#include "FlashRig.h"
#include "flash/Programming.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zelfin::flashtest {
namespace {

TEST(SimFlash, TheFirmwareThatRunsFollowsTheFlashContents) {
    std::vector<uint8_t> noMain = OldImage();
    noMain[sim::kSimMainRecord + 4] = 0x1F; // the header no longer announces the main record
    FlashRig bootOnly(kSst2Mbit, noMain);
    EXPECT_EQ(sim::SimFirmware::BootCode, bootOnly.flash.Running());
    EXPECT_EQ(std::string(kOldBoot), bootOnly.drive.Revision());

    FlashRig main;
    EXPECT_EQ(sim::SimFirmware::Main, main.flash.Running());
    EXPECT_EQ(std::string(testpackage::kOldRevision), main.drive.Revision());
}

TEST(SimFlash, ADownloadPieceWithAWrongSumIsRefusedAndNothingIsProgrammed) {
    FlashRig rig;
    AtapiDevice& device = *rig.device;
    ASSERT_TRUE(device.DownloadBegin());
    for (uint32_t n = 0; n < 32; ++n) {
        std::memcpy(device.writeBuffer, &NewImage()[n * 4096], 4096);
        if (n != 9) {
            ASSERT_TRUE(device.DownloadPiece(n * 4096, 4096));
            continue;
        }
        Cdb piece = cdb::kDownloadPiece;
        cdb::PutBigEndian(piece, 2, 4, n * 4096);
        cdb::PutBigEndian(piece, 8, 2, 4098);
        device.writeBuffer[4096] = 0x12; // not the piece's sum
        device.writeBuffer[4097] = 0x34;
        EXPECT_FALSE(device.ExecuteCommand(piece, kDirectionOut, 4098));
        EXPECT_TRUE(device.SenseIs(0x05, 0x26));
    }
    EXPECT_FALSE(device.DownloadEnd(131072)); // piece 9 never arrived
    EXPECT_TRUE(
        std::equal(rig.flash.Contents().begin(), rig.flash.Contents().end(), OldImage().begin()));
}

TEST(SimFlash, ASmallChipTellsItsLoaderFromImagePiece128) {
    FlashRig rig(sim::FlashId{0xDA, 0xC8, 0x00, 0x00});
    RunFlashJob(FlashJob{rig.device.get(), NewImage().data(), 1048576, true});
    EXPECT_EQ(0, rig.device->jobFailed);
    EXPECT_TRUE(
        std::equal(rig.flash.Contents().begin(), rig.flash.Contents().end(), NewImage().begin()));
}

TEST(SimFlash, PowerLostInTheBootAreaLeavesADeadDrive) {
    FlashRig rig;
    rig.flash.Faults().powerLossAtSector = 3;
    RunFlashJob(FlashJob{rig.device.get(), NewImage().data(), 1048576, true});
    EXPECT_EQ(kJobFailed, rig.device->jobFailed);
    EXPECT_EQ(sim::SimFirmware::Dead, rig.flash.Running());
    EXPECT_FALSE(rig.device->WriteBuffer(0, 0, 0xA0));
}

} // namespace
} // namespace zelfin::flashtest
