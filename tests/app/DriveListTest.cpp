// The drive list: its lines, the first eligible drive, and the revision line under it.
#include "Journey.h"

#include "app/DriveLine.h"
#include "tools/TestPackage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

namespace zelfin::apptest {
namespace {

using testing::ElementsAre;

const std::string kOld(testpackage::kOldRevision);
const std::string kNew(testpackage::kNewRevision);

DriveEntry entryWith(std::string_view root, std::string_view id, std::string_view revision) {
    DriveEntry entry{};
    setField(entry.root, root);
    setField(entry.displayId, id);
    setField(entry.revision, revision);
    entry.adapter = 1;
    entry.pathId = 0;
    entry.target = 2;
    entry.lun = 0;
    return entry;
}

TEST(DriveLine, LinesUpAddressLetterIdentificationAndRevision) {
    EXPECT_EQ(app::formatDriveLine(entryWith("D:\\", "BRYMOTE DVDRW RVM-270A  ", "1A05")),
              " 1-0-2-0 D:BRYMOTE DVDRW RVM-270A   1A05");
    // A device name stands whole where a letter and colon would.
    EXPECT_EQ(app::formatDriveLine(entryWith("sr0", "BRYMOTE DVDRW RVM-270A  ", "1A05")),
              " 1-0-2-0 sr0BRYMOTE DVDRW RVM-270A   1A05");
    // A drive found through ASPI has no letter; a short identification is padded on the left.
    EXPECT_EQ(app::formatDriveLine(entryWith("", "SHORT", "1")),
              " 1-0-2-0 " + std::string(19, ' ') + "SHORT    1");
}

TEST(DriveLine, WideAddressesAndAFullIdentificationFieldStayInBounds) {
    DriveEntry entry = entryWith("E:\\", "", "REV5");
    std::memset(entry.displayId, 'X', sizeof entry.displayId); // no NUL anywhere
    std::memset(entry.revision, 'R', sizeof entry.revision);
    entry.adapter = -32768;
    entry.pathId = 32767;
    entry.target = -1;
    entry.lun = 255;
    EXPECT_EQ(app::formatDriveLine(entry),
              "-32768-32767--1-255 E:" + std::string(32, 'X') + " RRRRR");
}

TEST(DriveList, FirstEligibleDriveIsSelectedAndShowsItsRevisions) {
    Journey j;
    j.addOtherDrive('D', "OTHERCO ", "CD-ROM X-1      ", "1.00", {0, 0, 0, 0});
    j.addDrive('E', kOld, {0, 0, 1, 0});
    j.addDrive('F', "1A06", {1, 0, 0, 0});

    j.start();

    EXPECT_THAT(j.control("cboDrives").items,
                ElementsAre(" 0-0-0-0 D:OTHERCO CD-ROM X-1       1.00",
                            " 0-0-1-0 E:BRYMOTE DVDRW RVM-270A   1A05",
                            " 1-0-0-0 F:BRYMOTE DVDRW RVM-270A   1A06"));
    EXPECT_EQ(j.control("cboDrives").selected, 1);
    EXPECT_EQ(j.control("lblUpdateMsg").text, "It will be updated from");
    EXPECT_EQ(j.control("lblUpdateMsg").colour, ui::kBlack);
    EXPECT_EQ(j.control("lblOldFW").text, kOld);
    EXPECT_EQ(j.control("lblNewFW").text, kNew);
    EXPECT_TRUE(j.control("lblOldFW").visible);
    EXPECT_TRUE(j.control("cmdUpdate").enabled);

    j.choose(2);
    EXPECT_EQ(j.control("lblOldFW").text, "1A06");
    EXPECT_EQ(j.control("lblNewFW").text, kNew);
}

TEST(DriveList, ANotEligibleDriveGreysUpdateAndSaysSoInMaroon) {
    Journey j;
    j.addDrive('D', kOld);
    j.addDrive('E', testpackage::kNewerRevision, {0, 0, 1, 0});
    j.start();

    j.choose(1);
    EXPECT_FALSE(j.control("cmdUpdate").enabled);
    EXPECT_FALSE(j.control("lblOldFW").visible);
    EXPECT_FALSE(j.control("lblNewFW").visible);
    EXPECT_EQ(j.control("lblUpdateMsg").text, "This drive is not allowed to be updated.");
    EXPECT_EQ(j.control("lblUpdateMsg").colour, ui::kMaroon);
    EXPECT_TRUE(j.control("lblTo").visible);

    j.choose(0);
    EXPECT_TRUE(j.control("cmdUpdate").enabled);
    EXPECT_TRUE(j.control("lblOldFW").visible);
    EXPECT_TRUE(j.control("lblNewFW").visible);
    EXPECT_EQ(j.control("lblUpdateMsg").text, "It will be updated from");
    EXPECT_EQ(j.control("lblUpdateMsg").colour, ui::kBlack);
    EXPECT_EQ(j.control("lblTo").colour, ui::kBlack);
}

TEST(DriveList, AnAspiDriveHasNoLetter) {
    Journey j({}, sim::OsFamily::Windows95);
    sim::SimDrive& drive = j.machine.NewDrive("aspi");
    sim::SimFlash::Install(drive, kChip, testpackage::makeImage(testpackage::kBootRevision, kOld));
    j.machine.Aspi().installed = true;
    j.machine.AddAspiDevice(2, 1, 0, 5, &drive);

    j.start();

    EXPECT_THAT(j.control("cboDrives").items,
                ElementsAre(" 2-0-1-0 BRYMOTE DVDRW RVM-270A   " + kOld));
    EXPECT_TRUE(j.control("cmdUpdate").enabled);
}

TEST(DriveList, ABankNotInUseShowsNA) {
    Journey j;
    j.addDrive('D', "1C10");
    acceptRevision1CForBank2(*j.package);

    j.start();

    EXPECT_EQ(j.control("lblOldFW").text, "1C10");
    EXPECT_EQ(j.control("lblNewFW").text, "N/A ");
    EXPECT_TRUE(j.control("cmdUpdate").enabled);
}

// Setting the selection from code is not a choice of the user.
TEST(DriveList, SelectingFromCodeRunsNoChangeHandler) {
    Journey j;
    j.addDrive('D', kOld);
    j.addDrive('E', testpackage::kNewerRevision, {0, 0, 1, 0});
    j.start();

    j.kit.window().selectIndex(ui::idOf(MainControl::cboDrives), 1);

    EXPECT_TRUE(j.control("cmdUpdate").enabled);
    EXPECT_EQ(j.control("lblUpdateMsg").text, "It will be updated from");
}

} // namespace
} // namespace zelfin::apptest
