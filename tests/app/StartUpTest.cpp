// Start-up: every way it can end, the notice, and what the window looks like afterwards.
#include "Journey.h"

#include "app/Zelfin.h"
#include "tools/TestPackage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zelfin::apptest {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

const std::string kModel(testpackage::kModel);

TEST(StartUp, WithoutFirmwareSaysSoAndTouchesNoDrive) {
    Journey j;
    j.addDrive('D', testpackage::kOldRevision);
    setField(j.package->HOW_MANY_BIN, "HOW_MANY_BIN=0");

    EXPECT_EQ(app::runZelfin(j.kit, j.machine, j.machine, *j.package, j.seal()), 0);

    ASSERT_EQ(j.kit.dialogs().size(), 1u);
    EXPECT_EQ(j.kit.dialogs()[0].type, ui::DialogType::Error);
    EXPECT_EQ(j.kit.dialogs()[0].text, "No F/W in executable !");
    EXPECT_THAT(j.kit.systemBoxes(), IsEmpty());
    EXPECT_EQ(j.machine.OpenCount('D'), 0u);
    EXPECT_TRUE(j.kit.terminated());
    EXPECT_THAT(j.kit.log(), testing::Not(testing::Contains("ZelfinMain.show")));
}

TEST(StartUp, AccessDeniedShowsTheSystemBoxAndEnds) {
    Journey j;
    j.addDrive('D', testpackage::kOldRevision);
    j.machine.SetOpenError('D', 5);

    j.start();

    ASSERT_EQ(j.kit.systemBoxes().size(), 1u);
    EXPECT_EQ(j.kit.systemBoxes()[0].text,
              "Access denied ! You must have administrator privilege to flash drives.");
    EXPECT_EQ(j.kit.systemBoxes()[0].caption, "Error ...");
    EXPECT_EQ(j.kit.systemBoxes()[0].flags, 0x10u);
    EXPECT_THAT(j.kit.dialogs(), IsEmpty());
    EXPECT_TRUE(j.kit.terminated());
}

// Only the latest failed open counts: a later failure of another kind lets start-up go on.
TEST(StartUp, AnEarlierRefusedOpenDoesNotStopStartUp) {
    Journey j;
    j.addDrive('D', testpackage::kOldRevision);
    j.addDrive('E', testpackage::kOldRevision);
    j.addDrive('F', testpackage::kOldRevision);
    j.machine.SetOpenError('D', 5);
    j.machine.SetOpenError('E', 2);

    j.start();

    EXPECT_THAT(j.kit.systemBoxes(), IsEmpty());
    EXPECT_FALSE(j.kit.terminated());
    EXPECT_EQ(j.control("cboDrives").items.size(), 1u);
}

TEST(StartUp, NoMatchedDriveListsEveryDetectedDrive) {
    Journey j;
    j.addOtherDrive('D', "OTHERCO ", "CD-ROM X-1      ", "1.00", {1, 0, 0, 0});
    j.addDrive('E', testpackage::kNewerRevision, {1, 0, 1, 0});

    j.start();

    ASSERT_EQ(j.kit.dialogs().size(), 1u);
    EXPECT_EQ(j.kit.dialogs()[0].type, ui::DialogType::Error);
    EXPECT_EQ(j.kit.dialogs()[0].text, "No matched drive detected !\n"
                                       "This utility is only for " +
                                           kModel +
                                           " drive.\n\n"
                                           "Detected drives :\n"
                                           " 1-0-0-0 D:OTHERCO CD-ROM X-1       1.00\n"
                                           " 1-0-1-0 E:BRYMOTE DVDRW RVM-270A   1A08\n");
    EXPECT_TRUE(j.kit.terminated());
}

TEST(StartUp, NoOpticalDriveLeavesTheDetectedListEmpty) {
    Journey j;
    j.machine.AddLetter('C', kDriveFixed);

    j.start();

    ASSERT_EQ(j.kit.dialogs().size(), 1u);
    EXPECT_TRUE(j.kit.dialogs()[0].text.ends_with("drive.\n\nDetected drives :\n"));
    EXPECT_TRUE(j.kit.terminated());
}

std::string notice(bool withPoint3) {
    return "This flash utility only supports " + kModel +
           " drive.\n\n"
           "NOTICE : \n\n"
           "1> Please REMOVE disc and close all applications before running this utility !\n"
           "2> Don't turn off the system while flash is in progress. \n" +
           std::string(withPoint3 ? "3> Don't remove the adapter and battery during F/W reflash "
                                    "processing. \n"
                                  : "") +
           "\nDo you wish to continue ?";
}

TEST(StartUp, ShippedNoticeHasTwoPointsAndYesLeavesTheWindowWaiting) {
    Journey j({{"WARNING", "1"}, {"NBWARNING", "0"}});
    j.addDrive('D', testpackage::kOldRevision);
    j.kit.answerNextQuestion(ui::DialogAnswer::Yes);

    j.start();

    ASSERT_EQ(j.kit.dialogs().size(), 1u);
    EXPECT_EQ(j.kit.dialogs()[0].type, ui::DialogType::Warning);
    EXPECT_EQ(j.kit.dialogs()[0].buttons, ui::DialogButtons::YesNo);
    EXPECT_EQ(j.kit.dialogs()[0].text, notice(false));
    EXPECT_FALSE(j.kit.terminated());
    EXPECT_EQ(j.kit.window().caption(), testpackage::kTitle);
    EXPECT_EQ(j.machine.OpenHandleCount(), 1) << "the selected drive is current in the master";
}

TEST(StartUp, NoticeCarriesPoint3WithNbWarning) {
    Journey j({{"WARNING", "1"}, {"NBWARNING", "1"}});
    j.addDrive('D', testpackage::kOldRevision);
    j.kit.answerNextQuestion(ui::DialogAnswer::Yes);

    j.start();

    ASSERT_EQ(j.kit.dialogs().size(), 1u);
    EXPECT_EQ(j.kit.dialogs()[0].text, notice(true));
}

TEST(StartUp, NoToTheNoticeEndsBeforeTheWindowMenuIsTouched) {
    Journey j({{"WARNING", "1"}, {"AUTOMODE", "1"}});
    sim::SimDrive& drive = j.addDrive('D', testpackage::kOldRevision);
    j.kit.answerNextQuestion(ui::DialogAnswer::No);

    j.start();

    EXPECT_TRUE(j.kit.terminated());
    EXPECT_TRUE(j.kit.window().hasCloseBox());
    EXPECT_FALSE(j.main->runUnderWay());
    EXPECT_EQ(drive.CommandCount(0x3B), 0u);
}

class NoticeSetting : public testing::TestWithParam<const char*> {};

TEST_P(NoticeSetting, OtherThanOneShowsNoNotice) {
    Journey j({{"WARNING", GetParam()}, {"NBWARNING", "1"}});
    j.addDrive('D', testpackage::kOldRevision);

    j.start();

    EXPECT_THAT(j.kit.dialogs(), IsEmpty());
    EXPECT_FALSE(j.kit.terminated());
}

INSTANTIATE_TEST_SUITE_P(StartUp, NoticeSetting, testing::Values("0", "2"));

TEST(StartUp, TheWindowMenuLosesItsCloseCommand) {
    Journey j;
    j.addDrive('D', testpackage::kOldRevision);

    j.start();

    const ui::RecordingWindow& window = j.kit.window();
    EXPECT_THAT(window.windowMenu(), ElementsAre("&Restore", "&Move", "&Size", "Mi&nimize (greyed)",
                                                 "Ma&ximize (greyed)"));
    EXPECT_FALSE(window.hasCloseBox());
    EXPECT_EQ(j.control("lblMsg").text, "");
    EXPECT_EQ(j.control("lblPercent").text, "0 %");
    EXPECT_EQ(j.control("pbar").position, 0);
}

TEST(StartUp, AnUnfilledTitleShowsTheVersion) {
    Journey j;
    j.addDrive('D', testpackage::kOldRevision);
    setField(j.package->APP_TITLE, "APP_TITLE_HERE and more");

    j.start();

    EXPECT_EQ(j.kit.window().caption(), "Zelfin v2.0.4");
}

// The user closes the window through cmdClose; the entry point then returns 0.
TEST(StartUp, CloseEndsTheMessageLoop) {
    Journey j;
    j.addDrive('D', testpackage::kOldRevision);
    j.kit.whenIdle([&] { j.kit.click(ui::idOf(MainControl::cmdClose)); });

    EXPECT_EQ(app::runZelfin(j.kit, j.machine, j.machine, *j.package, j.seal()), 0);

    EXPECT_TRUE(j.kit.terminated());
    EXPECT_THAT(j.kit.log(), testing::Contains("ZelfinMain.show"));
    EXPECT_THAT(j.kit.dialogs(), IsEmpty());
    EXPECT_EQ(j.machine.OpenHandleCount(), 0) << "the master closes its drive when it goes";
}

} // namespace
} // namespace zelfin::apptest
