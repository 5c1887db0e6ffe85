// Drive discovery: both scans, the fallback between them, ordering and identity reads.
#include "DeviceTestSupport.h"

#include <gtest/gtest.h>

namespace zelfin::testing {
namespace {

std::vector<std::string> Roots(const AtapiDevice& device) {
    std::vector<std::string> roots;
    for (unsigned i = 0; i < device.GetDriveCount(); ++i) {
        roots.emplace_back(device.GetEntry(i)->root);
    }
    return roots;
}

TEST(PassThroughScan, FindsEveryOpticalLetterWithIdentityAndFlashId) {
    sim::SimMachine machine;
    sim::SimDrive& first = machine.NewDrive();
    first.SetFlashId(0xBF, 0xD6, 0x00, 0x01);
    first.SetVendorSpecific("01/02/05 BRY");
    machine.AddOpticalLetter('A', first, {0, 0, 1, 0}); // the first letter the OS lists
    machine.AddLetter('C', kDriveFixed);
    machine.AddLetter('Z', kDriveRemote);
    sim::SimDrive& other = machine.NewDrive();
    other.SetIdentity("OTHER", "DVD-ROM X16", "2.10");
    other.SetVendorCommands(false);
    machine.AddOpticalLetter('F', other, {0, 0, 0, 0});

    AtapiDevice device(machine, true);
    ASSERT_EQ(device.GetDriveCount(), 2);
    EXPECT_EQ(Roots(device), (std::vector<std::string>{"F:\\", "A:\\"})) << "sorted by target";

    const DriveEntry& brymote = *device.GetEntry(1);
    EXPECT_EQ(std::string(brymote.vendorId), "BRYMOTE ");
    EXPECT_EQ(std::string(brymote.productId), "DVDRW RVM-270A  ");
    EXPECT_EQ(std::string(brymote.revision), "1.00");
    EXPECT_EQ(std::string(brymote.vendorSpecific), "01/02/05 BRY    ");
    EXPECT_EQ(std::string(brymote.displayId), "BRYMOTE DVDRW RVM-270A  ");
    EXPECT_EQ(brymote.flashId[0], 0xBF);
    EXPECT_EQ(brymote.flashId[3], 0x01);
    EXPECT_EQ(brymote.viaAspi, 0);
    EXPECT_EQ(brymote.storageDescriptor[8], 0x05) << "descriptor answer kept";

    const DriveEntry& foreign = *device.GetEntry(0);
    EXPECT_EQ(std::string(foreign.revision), "2.10");
    EXPECT_EQ(foreign.flashId[0], 0) << "the other model has no flash id";

    EXPECT_EQ(device.GetCurrentIndex(), kNoCurrentDrive);
    EXPECT_EQ(machine.OpenHandleCount(), 0) << "every handle closed after use";
    EXPECT_EQ(machine.OpenCount('A'), 3u) << "address, descriptor, identity";
}

TEST(PassThroughScan, DrivesWithoutAnAddressGetAdaptersFromTwoAndSortLast) {
    sim::SimMachine machine;
    for (char letter : {'D', 'E', 'F', 'G'}) {
        const bool real = letter == 'E' || letter == 'G';
        machine.AddOpticalLetter(letter, machine.NewDrive(),
                                 {static_cast<uint8_t>(letter == 'E' ? 1 : 0), 0, 0, 0},
                                 real ? sim::AddressQuery::Real : sim::AddressQuery::Unsupported);
    }
    AtapiDevice device(machine, true);
    ASSERT_EQ(device.GetDriveCount(), 4);
    EXPECT_EQ(Roots(device), (std::vector<std::string>{"G:\\", "E:\\", "D:\\", "F:\\"}));
    EXPECT_EQ(device.GetEntry(2)->adapter, 2);
    EXPECT_EQ(device.GetEntry(3)->adapter, 3);
    EXPECT_EQ(device.GetEntry(3)->target, 0);
}

TEST(PassThroughScan, LengthZeroAndUnopenableLettersAreLeftOut) {
    sim::SimMachine machine;
    machine.AddOpticalLetter('D', machine.NewDrive(), {}, sim::AddressQuery::LengthZero);
    machine.AddOpticalLetter('E', machine.NewDrive(), {1, 0, 0, 0});
    machine.AddOpticalLetter('F', machine.NewDrive(), {2, 0, 0, 0});
    machine.SetOpenError('F', kErrorAccessDenied);
    AtapiDevice device(machine, true);
    EXPECT_EQ(Roots(device), (std::vector<std::string>{"E:\\"}));
    EXPECT_EQ(device.lastOsError, kErrorAccessDenied);
}

TEST(PassThroughScan, HighAdaptersAndOrderByPathTargetLun) {
    sim::SimMachine machine;
    machine.AddOpticalLetter('D', machine.NewDrive(), {17, 0, 0, 0});
    machine.AddOpticalLetter('E', machine.NewDrive(), {1, 1, 0, 0});
    machine.AddOpticalLetter('F', machine.NewDrive(), {1, 0, 1, 1});
    machine.AddOpticalLetter('G', machine.NewDrive(), {1, 0, 1, 0});
    AtapiDevice device(machine, true);
    EXPECT_EQ(Roots(device), (std::vector<std::string>{"G:\\", "F:\\", "E:\\", "D:\\"}));
}

TEST(PassThroughScan, StopsAtSixteenDrives) {
    sim::SimMachine machine;
    for (int i = 0; i < 20; ++i) {
        machine.AddOpticalLetter(static_cast<char>('D' + i), machine.NewDrive(),
                                 {0, 0, static_cast<uint8_t>(i), 0});
    }
    AtapiDevice device(machine, true);
    EXPECT_EQ(device.GetDriveCount(), 16);
    EXPECT_EQ(std::string(device.GetEntry(15)->root), "S:\\");
    EXPECT_EQ(machine.OpenCount('T'), 0u);
}

TEST(PassThroughScan, NoDriveStringsOrNoHeapLeaveAnEmptyList) {
    NtMachine nt(1);
    nt.machine.SetDriveStringsFail(true);
    EXPECT_EQ(AtapiDevice(nt.machine, true).GetDriveCount(), 0);
    nt.machine.SetDriveStringsFail(false);
    nt.machine.SetHeapFailureSize(4 * 2 + 1);
    EXPECT_EQ(AtapiDevice(nt.machine, true).GetDriveCount(), 0);
}

TEST(Identity, UpToTenAttemptsPerDrive) {
    NtMachine nt(2);
    nt.drives[0]->InjectFault({0x12, 0, sim::Fault::Kind::Sense, {0x02, 0x04, 0x01}});
    nt.drives[1]->InjectFault({0x12, 9, sim::Fault::Kind::ZeroData});
    AtapiDevice device(nt.machine, true);
    EXPECT_EQ(nt.drives[0]->CommandCount(0x12), 10u);
    EXPECT_EQ(std::string(device.GetEntry(0)->vendorId), "") << "stays empty";
    EXPECT_EQ(nt.drives[1]->CommandCount(0x12), 1u);
    EXPECT_EQ(std::string(device.GetEntry(1)->vendorId), "BRYMOTE ");
}

TEST(Identity, AllZeroIdentityIsRetried) {
    NtMachine nt(1);
    nt.drives[0]->InjectFault({0x12, 1, sim::Fault::Kind::ZeroData});
    nt.drives[0]->InjectFault({0x12, 2, sim::Fault::Kind::ZeroData});
    AtapiDevice device(nt.machine, true);
    EXPECT_EQ(nt.drives[0]->CommandCount(0x12), 3u);
    EXPECT_EQ(std::string(device.GetEntry(0)->revision), "1.00");
}

TEST(Identity, UnitAttentionIsClearedBeforeTheIdentityRead) {
    NtMachine nt(1);
    nt.drives[0]->PowerOnReset();
    AtapiDevice device(nt.machine, true);
    const auto lines = CdbLines(*nt.drives[0]);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(0, 2), "00");
    EXPECT_EQ(lines[1].substr(0, 2), "00");
    EXPECT_EQ(lines[2].substr(0, 2), "12");
    EXPECT_EQ(lines[3].substr(0, 2), "DF");
}

TEST(RefreshIdentity, RewritesTheCurrentSlotOnly) {
    NtMachine nt(2);
    AtapiDevice device(nt.machine, true);
    nt.drives[1]->SetIdentity("BRYMOTE", "DVDRW RVM-270A", "1.08");
    ASSERT_TRUE(device.SelectDrive(1));
    ASSERT_TRUE(device.RefreshIdentity());
    EXPECT_EQ(std::string(device.GetEntry(1)->revision), "1.08");
    EXPECT_EQ(std::string(device.GetEntry(0)->revision), "1.00");

    nt.drives[1]->SetIdentity("BRYMOTE", "DVDRW RVM-270A", "1.09");
    nt.drives[1]->InjectFault({0x12, 0, sim::Fault::Kind::Transport});
    EXPECT_FALSE(device.RefreshIdentity());
    EXPECT_EQ(std::string(device.GetEntry(1)->revision), "1.08") << "unchanged on failure";
}

TEST(RefreshIdentity, WithoutACurrentDriveFailsAndChangesNothing) {
    NtMachine nt(1);
    AtapiDevice device(nt.machine, true);
    EXPECT_FALSE(device.RefreshIdentity());
    EXPECT_EQ(device.LastResult().refusal, Refusal::NoDrive);
    EXPECT_EQ(std::string(device.GetEntry(0)->revision), "1.00");
}

TEST(AspiScan, FindsOpticalDevicesOnEveryAdapter) {
    AspiMachine aspi(2);
    aspi.machine.AddAspiDevice(0, 5, 0, 0x00, nullptr); // a disk
    sim::SimDrive& far = aspi.machine.NewDrive();
    aspi.machine.AddAspiDevice(1, 2, 3, kDtypeCdrom, &far);
    AtapiDevice device(aspi.machine, true);
    ASSERT_EQ(device.GetDriveCount(), 3);
    const DriveEntry& last = *device.GetEntry(2);
    EXPECT_EQ(last.adapter, 1);
    EXPECT_EQ(last.target, 2);
    EXPECT_EQ(last.lun, 3);
    EXPECT_EQ(last.viaAspi, 1);
    EXPECT_EQ(std::string(last.root), "");
    EXPECT_EQ(std::string(last.productId), "DVDRW RVM-270A  ");
}

TEST(AspiScan, FailingAdapterInquiryKeepsWhatWasFound) {
    AspiMachine aspi(1);
    aspi.machine.AddAspiDevice(1, 0, 0, kDtypeCdrom, &aspi.machine.NewDrive());
    aspi.machine.Aspi().failingHaInquiry = 1;
    AtapiDevice device(aspi.machine, true);
    EXPECT_EQ(device.GetDriveCount(), 1);
}

TEST(AspiScan, FewerDrivesThanNtListsFallsBackToPassThrough) {
    NtMachine nt(2);
    nt.machine.Aspi().installed = true;
    nt.machine.AddAspiDevice(0, 0, 0, kDtypeCdrom, nt.drives[0]);
    AtapiDevice device(nt.machine, true, kPreferAspiTag);
    EXPECT_FALSE(device.UsesAspi());
    EXPECT_FALSE(device.IsAspiLoaded());
    ASSERT_EQ(device.GetDriveCount(), 2);
    EXPECT_EQ(device.GetEntry(0)->viaAspi, 0);
    EXPECT_EQ(device.GetEntry(1)->viaAspi, 0);
    EXPECT_EQ(std::string(device.GetEntry(1)->root), "E:\\");
}

TEST(AspiScan, AsManyDrivesAsLettersStaysOnAspi) {
    NtMachine nt(1);
    nt.machine.Aspi().installed = true;
    nt.machine.AddAspiDevice(0, 4, 0, kDtypeCdrom, nt.drives[0]);
    AtapiDevice device(nt.machine, true, kPreferAspiTag);
    EXPECT_TRUE(device.UsesAspi());
    ASSERT_EQ(device.GetDriveCount(), 1);
    EXPECT_EQ(device.GetEntry(0)->viaAspi, 1);
    EXPECT_EQ(device.GetEntry(0)->target, 4);
    EXPECT_EQ(nt.machine.OpenCount('D'), 0u);
}

TEST(AspiScan, StopsAtSixteenDrives) {
    AspiMachine aspi(0);
    for (int i = 0; i < 18; ++i) {
        aspi.machine.AddAspiDevice(static_cast<uint8_t>(i / 8), static_cast<uint8_t>(i % 8), 0,
                                   kDtypeCdrom, &aspi.machine.NewDrive());
    }
    AtapiDevice device(aspi.machine, true);
    EXPECT_EQ(device.GetDriveCount(), 16);
}

} // namespace
} // namespace zelfin::testing
