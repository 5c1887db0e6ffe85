// Transport choice at construction and the ASPI manager's set-up messages.
#include "DeviceTestSupport.h"

#include <gtest/gtest.h>

namespace zelfin::testing {
namespace {

using sim::OsFamily;
using sim::SimMachine;

TEST(TransportChoice, NtFamilyUsesPassThroughAndOnlyProbesAspi) {
    SimMachine machine(OsFamily::NT);
    machine.Aspi().installed = true;
    {
        AtapiDevice device(machine, false);
        EXPECT_TRUE(device.platform.isNtFamily);
        EXPECT_FALSE(device.UsesAspi());
        EXPECT_TRUE(device.IsAspiAvailable());
        EXPECT_FALSE(device.IsAspiLoaded());
        EXPECT_EQ(machine.LibraryLoads(), 1u); // the silent probe
        EXPECT_EQ(machine.LoadedLibraries(), 0);
    }
    EXPECT_TRUE(machine.MessageBoxes().empty());
}

TEST(TransportChoice, NtFamilyWithoutAspiStaysSilent) {
    SimMachine machine(OsFamily::NT);
    AtapiDevice device(machine, false, kPreferAspiTag);
    EXPECT_FALSE(device.UsesAspi());
    EXPECT_FALSE(device.IsAspiAvailable());
    EXPECT_TRUE(machine.MessageBoxes().empty());
}

TEST(TransportChoice, ApplicationTagSelectsAspiOnNtWhenUsable) {
    SimMachine machine(OsFamily::NT);
    machine.Aspi().installed = true;
    {
        AtapiDevice device(machine, false, kPreferAspiTag);
        EXPECT_TRUE(device.UsesAspi());
        EXPECT_TRUE(device.HasAspiEntryPoints());
        EXPECT_EQ(machine.LoadedLibraries(), 1);
    }
    EXPECT_EQ(machine.LoadedLibraries(), 0) << "destruction frees the manager";
    EXPECT_TRUE(machine.MessageBoxes().empty());
}

TEST(TransportChoice, NinetyFiveFamilyUsesAspiEvenWhenMissing) {
    SimMachine machine(OsFamily::Windows95);
    AtapiDevice device(machine, true);
    EXPECT_FALSE(device.platform.isNtFamily);
    EXPECT_TRUE(device.UsesAspi());
    EXPECT_FALSE(device.HasAspiEntryPoints());
    ASSERT_EQ(machine.MessageBoxes().size(), 1u);
    const sim::MessageBoxRecord box = machine.MessageBoxes()[0];
    EXPECT_EQ(box.text, "LoadLibrary:\nWNASPI32.DLL not found.");
    EXPECT_EQ(box.caption, "Error FS 002");
    EXPECT_EQ(box.flags, kMbIconError | kMbOk);
    EXPECT_EQ(device.GetDriveCount(), 0);
    EXPECT_EQ(machine.BadEntryCalls(), 0u);
}

TEST(TransportChoice, NinetyFiveFamilyWithWorkingAspi) {
    SimMachine machine(OsFamily::Windows95);
    machine.Aspi().installed = true;
    AtapiDevice device(machine, false);
    EXPECT_TRUE(device.UsesAspi());
    EXPECT_TRUE(device.HasAspiEntryPoints());
    EXPECT_TRUE(machine.MessageBoxes().empty());
}

struct LoadFailure {
    bool hasSupportInfo;
    bool hasSendCommand;
    uint8_t status;
    const char* text;
    const char* caption;
};

class AspiLoadFailure : public ::testing::TestWithParam<LoadFailure> {};

TEST_P(AspiLoadFailure, ShowsItsBoxAndLeavesNoEntryPoints) {
    const LoadFailure& failure = GetParam();
    SimMachine machine(OsFamily::Windows95);
    machine.Aspi().installed = true;
    machine.Aspi().hasSupportInfo = failure.hasSupportInfo;
    machine.Aspi().hasSendCommand = failure.hasSendCommand;
    machine.Aspi().supportStatus = failure.status;
    sim::SimDrive& drive = machine.NewDrive();
    machine.AddAspiDevice(0, 0, 0, kDtypeCdrom, &drive);

    AtapiDevice device(machine, true);
    ASSERT_EQ(machine.MessageBoxes().size(), 1u);
    EXPECT_EQ(machine.MessageBoxes()[0].text, failure.text);
    EXPECT_EQ(machine.MessageBoxes()[0].caption, failure.caption);
    EXPECT_FALSE(device.HasAspiEntryPoints());
    EXPECT_FALSE(device.IsAspiLoaded());
    EXPECT_EQ(machine.LoadedLibraries(), 0);
    // Missing entry points are never called: the scan finds nothing.
    EXPECT_EQ(device.GetDriveCount(), 0);
    EXPECT_EQ(machine.BadEntryCalls(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, AspiLoadFailure,
    ::testing::Values(
        LoadFailure{false, true, kSsComp, "GetProcAddress:\nGetASPI32SupportInfo not fount.",
                    "Error FS 003"},
        LoadFailure{true, false, kSsComp, "GetProcAddress:\npfnSendASPI32Command not found.",
                    "Error FS 004"},
        LoadFailure{true, true, kSsOldManager, "Old ASPI manager.", "GetASPISupportInfo:"},
        LoadFailure{true, true, kSsIllegalMode, "ASPI for Windows does not support real mode.",
                    "GetASPISupportInfo:"},
        LoadFailure{true, true, kSsNoAspi, "Could not find the ASPI manager.",
                    "GetASPISupportInfo:"},
        LoadFailure{true, true, kSsErr, "Error initializing ASPI.", "GetASPISupportInfo:"}));

TEST(TransportChoice, ProbeFailsQuietlyOnAnUnusableManager) {
    SimMachine machine(OsFamily::NT);
    machine.Aspi().installed = true;
    machine.Aspi().supportStatus = kSsNoAspi;
    AtapiDevice device(machine, false, kPreferAspiTag);
    EXPECT_FALSE(device.IsAspiAvailable());
    EXPECT_FALSE(device.UsesAspi());
    EXPECT_TRUE(machine.MessageBoxes().empty());
    EXPECT_EQ(machine.LoadedLibraries(), 0);
}

} // namespace
} // namespace zelfin::testing
