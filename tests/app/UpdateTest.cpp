// The Update command from the click to the end of the run: results, the list afterwards, and
// what the program does next.
#include "Journey.h"

#include "app/Zelfin.h"
#include "tools/TestPackage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zelfin::apptest {
namespace {

using testing::ElementsAre;

const std::string kOld(testpackage::kOldRevision);
const std::string kNew(testpackage::kNewRevision);
constexpr std::string_view kSuccess = "Firmware has been updated successfully !";
constexpr std::string_view kFailure = "Unable to flash firmware. Please contact with your vendor !";

// Everything the message line showed from the moment the run ended.
std::vector<std::string> messagesAfterRun(const ui::RecordingToolkit& kit) {
    std::vector<std::string> texts = kit.texts("lblMsg");
    auto inquiry = std::find(texts.begin(), texts.end(), "Inquiry ...");
    return std::vector<std::string>(inquiry, texts.end());
}

TEST(ManualUpdate, SuccessShowsDoneTheNewRevisionAndThenTheRebootPrompt) {
    Journey j({{"REBOOT", "1"}});
    sim::SimDrive& drive = j.addDrive('D', kOld);
    j.start();
    std::string messageWhileDialogUp;
    j.kit.onDialog(
        [&](const ui::DialogRecord&) { messageWhileDialogUp = j.control("lblMsg").text; });

    j.clickUpdate();
    EXPECT_FALSE(j.control("cmdUpdate").enabled);
    EXPECT_FALSE(j.control("cmdClose").enabled);
    EXPECT_EQ(j.control("lblMsg").colour, ui::kMaroon);
    j.finishRun();

    EXPECT_EQ(j.flashOf(drive).Commits(), 1u);
    ASSERT_EQ(j.kit.dialogs().size(), 1u);
    EXPECT_EQ(j.kit.dialogs()[0].type, ui::DialogType::Information);
    EXPECT_EQ(j.kit.dialogs()[0].text, kSuccess);
    EXPECT_EQ(messageWhileDialogUp, "Done.");
    EXPECT_THAT(messagesAfterRun(j.kit), ElementsAre("Inquiry ...", "Done.", ""));
    EXPECT_EQ(j.control("cboDrives").items[0], " 0-0-0-0 D:BRYMOTE DVDRW RVM-270A   " + kNew);
    EXPECT_EQ(j.control("lblOldFW").text, kNew);
    EXPECT_EQ(j.control("lblMsg").colour, ui::kNavy);
    EXPECT_THAT(j.kit.log(), testing::Contains("modal Reboot"));
    EXPECT_TRUE(j.kit.terminated());
}

TEST(ManualUpdate, SuccessWithCloseApEndsWithoutRebootPrompt) {
    Journey j({{"REBOOT", "0"}, {"CLOSEAP", "1"}});
    j.addDrive('D', kOld);
    j.start();

    j.clickUpdate();
    j.finishRun();

    EXPECT_THAT(j.dialogTexts(), ElementsAre(kSuccess));
    EXPECT_THAT(j.kit.log(), testing::Not(testing::Contains("modal Reboot")));
    EXPECT_TRUE(j.kit.terminated());
}

TEST(ManualUpdate, SuccessWithoutCloseApStaysIdleAndCanRunAgain) {
    Journey j({{"REBOOT", "0"}, {"CLOSEAP", "0"}});
    sim::SimDrive& drive = j.addDrive('D', kOld);
    j.start();

    j.clickUpdate();
    j.finishRun();

    EXPECT_FALSE(j.kit.terminated());
    EXPECT_EQ(j.control("pbar").position, 0);
    EXPECT_EQ(j.control("lblPercent").text, "0 %");
    EXPECT_TRUE(j.control("cmdUpdate").enabled);
    EXPECT_TRUE(j.control("cmdClose").enabled);
    EXPECT_FALSE(j.control("tmr").enabled);

    j.clickUpdate();
    j.finishRun();
    EXPECT_EQ(j.flashOf(drive).Commits(), 2u);
    EXPECT_THAT(j.dialogTexts(), ElementsAre(kSuccess, kSuccess));
}

TEST(ManualUpdate, FailureSaysSoAndEnds) {
    Journey j({{"REBOOT", "1"}});
    sim::SimDrive& drive = j.addDrive('D', kOld);
    j.flashOf(drive).Faults().commitFails = true;
    j.start();

    j.clickUpdate();
    j.finishRun();

    ASSERT_EQ(j.kit.dialogs().size(), 1u);
    EXPECT_EQ(j.kit.dialogs()[0].type, ui::DialogType::Error);
    EXPECT_EQ(j.kit.dialogs()[0].text, kFailure);
    EXPECT_THAT(j.kit.log(), testing::Not(testing::Contains("modal Reboot")));
    EXPECT_TRUE(j.kit.terminated());
    EXPECT_EQ(j.control("cboDrives").items[0], " 0-0-0-0 D:BRYMOTE DVDRW RVM-270A   " + kOld);
}

TEST(ManualUpdate, UpToDatePromptYesUpdatesTheDrive) {
    Journey j({{"N2OMESSAGE", "1"}, {"REBOOT", "0"}});
    sim::SimDrive& drive = j.addDrive('D', kNew);
    j.start();
    j.kit.answerNextQuestion(ui::DialogAnswer::Yes);

    j.clickUpdate();
    j.finishRun();

    ASSERT_EQ(j.kit.dialogs().size(), 2u);
    EXPECT_EQ(j.kit.dialogs()[0].type, ui::DialogType::Warning);
    EXPECT_EQ(j.kit.dialogs()[0].buttons, ui::DialogButtons::YesNo);
    EXPECT_EQ(j.kit.dialogs()[0].text,
              "Your drive's Firmware is already the most updated !\n Do you wish to continue ?");
    EXPECT_EQ(j.kit.dialogs()[1].text, kSuccess);
    EXPECT_EQ(j.flashOf(drive).Commits(), 1u);
}

TEST(ManualUpdate, UpToDatePromptNoEndsTheProgramWithoutTouchingTheDrive) {
    Journey j({{"N2OMESSAGE", "1"}});
    sim::SimDrive& drive = j.addDrive('D', kNew);
    j.start();
    j.kit.answerNextQuestion(ui::DialogAnswer::No);

    j.clickUpdate();

    EXPECT_TRUE(j.kit.terminated());
    EXPECT_FALSE(j.main->runUnderWay());
    EXPECT_EQ(drive.CommandCount(0x3B), 0u);
    EXPECT_EQ(j.kit.dialogs().size(), 1u);
}

TEST(ManualUpdate, WithoutN2OMessageAnUpToDateDriveIsNotAsked) {
    Journey j({{"N2OMESSAGE", "0"}, {"REBOOT", "0"}});
    j.addDrive('D', kNew);
    j.start();

    j.clickUpdate();
    j.finishRun();

    EXPECT_THAT(j.dialogTexts(), ElementsAre(kSuccess));
}

// A job without a bank has nothing to write: it fails without a worker, and the run ends with
// the failure message at once.
TEST(ManualUpdate, ABankThatCannotBeCutFailsTheRunWithoutAWorker) {
    Journey j;
    sim::SimDrive& drive = j.addDrive('D', "1C10");
    acceptRevision1CForBank2(*j.package);
    j.start();

    j.clickUpdate();

    EXPECT_FALSE(j.main->runUnderWay());
    EXPECT_THAT(j.dialogTexts(), ElementsAre(kFailure));
    EXPECT_EQ(drive.CommandCount(0x3B), 0u);
    EXPECT_TRUE(j.kit.terminated());
}

TEST(ManualUpdate, ADriveThatCannotBeSelectedForItsJobFailsTheRun) {
    Journey j;
    sim::SimDrive& drive = j.addDrive('D', kOld);
    j.start();
    j.machine.SetOpenError('D', 2); // the drive letter is gone

    j.clickUpdate();

    EXPECT_FALSE(j.main->runUnderWay());
    EXPECT_THAT(j.dialogTexts(), ElementsAre(kFailure));
    EXPECT_EQ(drive.CommandCount(0x3B), 0u);
}

TEST(ManualUpdate, ChoosingAnotherDriveDuringTheRunKeepsUpdateDisabled) {
    Journey j({{"REBOOT", "0"}});
    j.addDrive('D', kOld);
    j.addDrive('E', kOld, {0, 0, 1, 0});
    j.start();

    j.clickUpdate();
    j.choose(1);
    EXPECT_FALSE(j.control("cmdUpdate").enabled);
    EXPECT_EQ(j.control("lblOldFW").text, kOld);
    j.finishRun();

    EXPECT_THAT(j.dialogTexts(), ElementsAre(kSuccess));
    EXPECT_TRUE(j.control("cmdUpdate").enabled);
    // The programmed drive is read again even though another one is chosen now.
    EXPECT_EQ(j.control("cboDrives").items[0], " 0-0-0-0 D:BRYMOTE DVDRW RVM-270A   " + kNew);
    EXPECT_EQ(j.control("cboDrives").selected, 1);
    EXPECT_EQ(j.control("lblOldFW").text, kOld);
}

TEST(AutomaticUpdate, TwoDrivesOneFailingGiveOneResultAfterBoth) {
    Journey j({{"AUTOMODE", "1"}});
    sim::SimDrive& good = j.addDrive('D', kOld);
    sim::SimDrive& bad = j.addDrive('E', kOld, {0, 0, 1, 0});
    j.flashOf(bad).Faults().commitFails = true;
    uint32_t goodCommitsAtResult = 0;
    uint32_t badCommitAttemptsAtResult = 0;
    j.kit.onDialog([&](const ui::DialogRecord&) {
        goodCommitsAtResult = j.flashOf(good).Commits();
        badCommitAttemptsAtResult = bad.CommandCount(0x3B);
    });

    j.start();
    EXPECT_EQ(j.main->workersRunning(), 2);
    j.finishRun();

    EXPECT_THAT(j.dialogTexts(), ElementsAre(kFailure));
    EXPECT_EQ(goodCommitsAtResult, 1u);
    EXPECT_EQ(badCommitAttemptsAtResult, bad.CommandCount(0x3B));
    EXPECT_GT(bad.CommandCount(0x3B), 256u);
    EXPECT_TRUE(j.kit.terminated());
}

TEST(AutomaticUpdate, EveryEligibleDriveIsUpdatedAndReadAgain) {
    Journey j({{"AUTOMODE", "1"}, {"REBOOT", "0"}, {"CLOSEAP", "1"}});
    sim::SimDrive& first = j.addDrive('D', kOld);
    j.addOtherDrive('E', "OTHERCO ", "CD-ROM X-1      ", "1.00", {0, 0, 1, 0});
    sim::SimDrive& third = j.addDrive('F', "1A06", {0, 0, 2, 0});

    j.start();
    j.finishRun();

    EXPECT_THAT(j.dialogTexts(), ElementsAre(kSuccess));
    EXPECT_EQ(j.flashOf(first).Commits(), 1u);
    EXPECT_EQ(j.flashOf(third).Commits(), 1u);
    EXPECT_EQ(j.control("cboDrives").items[2], " 0-0-2-0 F:BRYMOTE DVDRW RVM-270A   " + kNew);
    EXPECT_EQ(j.machine.OpenHandleCount(), 1) << "only the master's selected drive stays open";
}

// One automatic job has no bank; the other still runs, and the run ends after it.
TEST(AutomaticUpdate, AJobThatCannotStartCountsAsFailed) {
    Journey j({{"AUTOMODE", "1"}});
    sim::SimDrive& good = j.addDrive('D', kOld);
    sim::SimDrive& bankless = j.addDrive('E', "1C10", {0, 0, 1, 0});
    acceptRevision1CForBank2(*j.package);

    j.start();
    EXPECT_EQ(j.main->workersRunning(), 1);
    j.finishRun();

    EXPECT_EQ(j.flashOf(good).Commits(), 1u);
    EXPECT_EQ(bankless.CommandCount(0x3B), 0u);
    EXPECT_THAT(j.dialogTexts(), ElementsAre(kFailure));
}

// After an automatic run no drive may be updated any more; Update then has no job and must not
// claim that anything was flashed.
TEST(AutomaticUpdate, UpdateWithNoDriveLeftReportsNothing) {
    Journey j({{"AUTOMODE", "1"}, {"REBOOT", "0"}, {"CLOSEAP", "0"}});
    setField(j.package->constraints[0][0].FW_TO, "1A06");
    sim::SimDrive& drive = j.addDrive('D', kOld);
    j.start();
    j.finishRun();
    ASSERT_THAT(j.dialogTexts(), ElementsAre(kSuccess));
    const auto messages = j.kit.texts("lblMsg").size();
    const auto writes = drive.CommandCount(0x3B);

    j.clickUpdate();
    j.kit.runPending();

    EXPECT_THAT(j.dialogTexts(), ElementsAre(kSuccess));
    EXPECT_EQ(j.kit.texts("lblMsg").size(), messages);
    EXPECT_EQ(drive.CommandCount(0x3B), writes);
    EXPECT_FALSE(j.kit.terminated());
}

// Start-up that fails after an automatic job has started: the running worker still has its
// device object until it ends, and the first drive's update completes.
TEST(AutomaticUpdate, AFailureDuringStartUpWaitsForTheJobsAlreadyRunning) {
    Journey j({{"AUTOMODE", "1"}, {"CHKDISC", "1"}});
    sim::SimDrive& first = j.addDrive('D', kOld);
    sim::SimDrive& second = j.addDrive('E', kOld, {0, 0, 1, 0});
    first.SetDisc(sim::Disc::Absent);
    second.SetDisc(sim::Disc::Present);
    j.kit.onDialog([](const ui::DialogRecord& dialog) {
        if (dialog.text == "Please remove the disc.") {
            throw std::runtime_error("toolkit failed");
        }
    });

    EXPECT_EQ(app::runZelfin(j.kit, j.machine, j.machine, *j.package, j.seal()), 0);

    EXPECT_EQ(j.flashOf(first).Commits(), 1u);
    EXPECT_EQ(second.CommandCount(0x3B), 0u);
    EXPECT_EQ(j.kit.dialogs().back().text, "toolkit failed");
    EXPECT_TRUE(j.kit.terminated());
}

// Power lost in the commit leaves the drive on its boot code. Started again, the program finds it
// through the boot code's revision and the update goes through.
TEST(ManualUpdate, AfterPowerLossInTheCommitTheNextRunFindsTheDriveAndUpdatesIt) {
    Journey j({{"REBOOT", "0"}, {"CLOSEAP", "1"}});
    sim::SimDrive& drive = j.addDrive('D', kOld);
    j.flashOf(drive).Faults().powerLossAtSector = 128;
    j.kit.whenIdle([&] { j.clickUpdate(); });
    app::runZelfin(j.kit, j.machine, j.machine, *j.package, j.seal());
    EXPECT_THAT(j.dialogTexts(), ElementsAre(kFailure));
    EXPECT_EQ(drive.Revision(), testpackage::kBootRevision);

    ui::RecordingToolkit again;
    again.whenIdle([&] {
        EXPECT_EQ(again.state("cboDrives").items[0],
                  " 0-0-0-0 D:BRYMOTE DVDRW RVM-270A   " + std::string(testpackage::kBootRevision));
        again.click(ui::idOf(MainControl::cmdUpdate));
    });
    app::runZelfin(again, j.machine, j.machine, *j.package, j.seal());
    ASSERT_FALSE(again.dialogs().empty());
    EXPECT_EQ(again.dialogs().back().text, kSuccess);
    EXPECT_EQ(drive.Revision(), kNew);
    EXPECT_EQ(j.flashOf(drive).Running(), sim::SimFirmware::Main);
}

// The whole journey through the entry point: start-up, a click, the run, the reboot prompt.
TEST(Journey, FromStartToRebootPromptThroughTheMessageLoop) {
    Journey j({{"WARNING", "1"}, {"REBOOT", "1"}});
    sim::SimDrive& drive = j.addDrive('D', kOld);
    j.kit.answerNextQuestion(ui::DialogAnswer::Yes);
    j.kit.whenIdle([&] { j.kit.click(ui::idOf(MainControl::cmdUpdate)); });

    EXPECT_EQ(app::runZelfin(j.kit, j.machine, j.machine, *j.package, j.seal()), 0);

    EXPECT_EQ(j.flashOf(drive).Commits(), 1u);
    ASSERT_EQ(j.kit.dialogs().size(), 2u);
    EXPECT_EQ(j.kit.dialogs()[1].text, kSuccess);
    EXPECT_THAT(j.kit.log(), testing::Contains("modal Reboot -> Cancel"));
    EXPECT_EQ(j.machine.RestartRequests(), 0);
    EXPECT_EQ(j.machine.OpenHandleCount(), 0);
}

} // namespace
} // namespace zelfin::apptest
