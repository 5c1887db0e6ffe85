// Transport choice at construction and the ASPI manager's set-up messages.
#include "DeviceTestSupport.h"

#include <gtest/gtest.h>

namespace zelfin::testing {
namespace {

using sim::OsFamily;
using sim::SimMachine;

TEST(TransportChoice, NtFamilyUsesPassThroughAndNeverLoadsAspi) {
    SimMachine machine(OsFamily::NT);
    machine.Aspi().installed = true;
    {
        AtapiDevice device(machine, false);
        EXPECT_TRUE(device.platform.isNtFamily);
        EXPECT_FALSE(device.UsesAspi());
        EXPECT_FALSE(device.IsAspiAvailable());
        EXPECT_FALSE(device.IsAspiLoaded());
        EXPECT_TRUE(machine.LibraryRequests().empty()) << "not even probed";
    }
    EXPECT_TRUE(machine.MessageBoxes().empty());
}

// Which copies of the manager lie where, and the names the device object asks for: full paths
// in the program's folder and then the system folder only, never a bare name.
struct AspiPlace {
    const char* what;
    OsFamily family;
    uint16_t tag;
    bool besideProgram, inSystemFolder, inCurrentDirectory, programPathTooLong;
    std::vector<std::string> requests; // "P": the program's folder, "S": the system folder
    bool loaded;
    const char* box; // the one box shown, or null
};

class AspiLookup : public ::testing::TestWithParam<AspiPlace> {};

TEST_P(AspiLookup, AsksForFullPathsOnly) {
    const AspiPlace& place = GetParam();
    SimMachine machine(place.family);
    machine.Aspi().besideProgram = place.besideProgram;
    machine.Aspi().installed = place.inSystemFolder;
    machine.Aspi().inCurrentDirectory = place.inCurrentDirectory;
    std::string program = "C:\\ZELFIN\\ZELFIN.EXE";
    if (place.programPathTooLong) {
        program = "C:\\" + std::string(kMaxAspiPath, 'Z') + "\\ZELFIN.EXE";
        machine.SetProgramPath(program);
    }
    std::vector<std::string> expected;
    for (const std::string& where : place.requests) {
        expected.push_back(where == "P" ? "C:\\ZELFIN\\WNASPI32.DLL"
                                        : machine.SystemFolder() + "\\WNASPI32.DLL");
    }

    AtapiDevice device(machine, false, place.tag);
    EXPECT_EQ(machine.LibraryRequests(), expected);
    EXPECT_EQ(device.IsAspiLoaded(), place.loaded);
    const auto boxes = machine.MessageBoxes();
    ASSERT_EQ(boxes.size(), place.box != nullptr ? 1u : 0u);
    if (place.box != nullptr) {
        EXPECT_EQ(boxes[0].text, place.box);
    }
}

const char* const kNotFound = "LoadLibrary:\nWNASPI32.DLL not found.";

INSTANTIATE_TEST_SUITE_P(
    EveryPlace, AspiLookup,
    ::testing::Values(
        AspiPlace{
            "NtPlantedEverywhere", OsFamily::NT, 0, true, false, true, false, {}, false, nullptr},
        AspiPlace{"NtTagCurrentDirectoryOnly",
                  OsFamily::NT,
                  kPreferAspiTag,
                  false,
                  false,
                  true,
                  false,
                  {"P", "S"},
                  false,
                  nullptr},
        AspiPlace{"NtTagBesideProgram",
                  OsFamily::NT,
                  kPreferAspiTag,
                  true,
                  false,
                  false,
                  false,
                  {"P", "P"},
                  true,
                  nullptr},
        AspiPlace{"W95BesideProgram",
                  OsFamily::Windows95,
                  0,
                  true,
                  true,
                  true,
                  false,
                  {"P", "P"},
                  true,
                  nullptr},
        AspiPlace{"W95SystemFolder",
                  OsFamily::Windows95,
                  0,
                  false,
                  true,
                  true,
                  false,
                  {"P", "S", "P", "S"},
                  true,
                  nullptr},
        AspiPlace{"W95CurrentDirectoryOnly",
                  OsFamily::Windows95,
                  0,
                  false,
                  false,
                  true,
                  false,
                  {"P", "S", "P", "S"},
                  false,
                  kNotFound},
        AspiPlace{"W95ProgramPathCutShort",
                  OsFamily::Windows95,
                  0,
                  true,
                  false,
                  false,
                  true,
                  {"S", "S"},
                  false,
                  kNotFound}),
    [](const ::testing::TestParamInfo<AspiPlace>& row) { return std::string(row.param.what); });

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
