// The disc and tray check before a job: what the user is told, what the user does meanwhile,
// and when the check gives up.
#include "Journey.h"

#include "tools/TestPackage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace zelfin::apptest {
namespace {

using testing::ElementsAre;

constexpr std::string_view kSuccess = "Firmware has been updated successfully !";
constexpr std::string_view kFailure = "Unable to flash firmware. Please contact with your vendor !";
constexpr std::string_view kRemoveDisc = "Please remove the disc.";
constexpr std::string_view kDiscLocked =
    "Disc detected in drive. Unable to eject the disc , maybe locked by other program\n\n"
    "Please remove the disc manually.";
constexpr std::string_view kPushTrayIn = "Please push the tray in.";

// The message line while the check ran: from its first text up to the run's own texts.
std::vector<std::string> checkMessages(const ui::RecordingToolkit& kit) {
    std::vector<std::string> shown;
    for (const std::string& text : kit.texts("lblMsg")) {
        if (text.starts_with("Programming") || text == "Inquiry ...") {
            break;
        }
        if (!text.empty()) {
            shown.push_back(text);
        }
    }
    return shown;
}

class DiscAndTray : public testing::Test {
protected:
    DiscAndTray()
        : j({{"CHKDISC", "1"}, {"REBOOT", "0"}}),
          drive(j.addDrive('D', testpackage::kOldRevision)) {}

    void update() {
        j.start();
        j.clickUpdate();
        j.finishRun();
    }

    Journey j;
    sim::SimDrive& drive;
};

TEST_F(DiscAndTray, AnEmptyClosedDriveGoesStraightToProgramming) {
    update();

    EXPECT_THAT(checkMessages(j.kit), ElementsAre("Check Disc & Tray Status..."));
    EXPECT_THAT(j.dialogTexts(), ElementsAre(kSuccess));
}

TEST_F(DiscAndTray, ADiscIsEjectedAndTheUserTakesItOut) {
    drive.SetDisc(sim::Disc::Present);
    j.kit.onDialog([&](const ui::DialogRecord& dialog) {
        if (dialog.text == kRemoveDisc) {
            drive.SetDisc(sim::Disc::Absent);
        }
    });

    update();

    EXPECT_THAT(checkMessages(j.kit), ElementsAre("Check Disc & Tray Status...", "Tray Out ...",
                                                  "Tray In ...", "Waiting Drive Ready ..."));
    EXPECT_THAT(j.dialogTexts(), ElementsAre(kRemoveDisc, kSuccess));
    EXPECT_EQ(j.kit.dialogs()[0].type, ui::DialogType::Warning);
    EXPECT_FALSE(drive.TrayOpen());
    EXPECT_EQ(j.flashOf(drive).Commits(), 1u);
}

TEST_F(DiscAndTray, ALockedDiscAsksForManualRemovalAndTheCheckRepeats) {
    drive.SetDisc(sim::Disc::Locked);
    int lockedWarnings = 0;
    j.kit.onDialog([&](const ui::DialogRecord& dialog) {
        // The second time round the user has got the disc out.
        if (dialog.text == kDiscLocked && ++lockedWarnings == 2) {
            drive.SetDisc(sim::Disc::Absent);
        }
    });

    update();

    EXPECT_THAT(checkMessages(j.kit),
                ElementsAre("Check Disc & Tray Status...", "Tray Out ...", "Tray In ...",
                            "Waiting Drive Ready ...", "Tray Out ...", "Tray In ...",
                            "Waiting Drive Ready ..."));
    EXPECT_THAT(j.dialogTexts(), ElementsAre(kDiscLocked, kDiscLocked, kSuccess));
}

TEST_F(DiscAndTray, ATrayThatStaysOpenIsPushedInByTheUser) {
    drive.SetTrayOpen(true);
    // The tray mechanism fails to close it once.
    drive.InjectFault({0x1B, 1, sim::Fault::Kind::Sense, {0x04, 0x53, 0x00}, 0.0});
    j.kit.onDialog([&](const ui::DialogRecord& dialog) {
        if (dialog.text == kPushTrayIn) {
            drive.SetTrayOpen(false);
        }
    });

    update();

    EXPECT_THAT(checkMessages(j.kit), ElementsAre("Check Disc & Tray Status...", "Tray In ...",
                                                  "Waiting Drive Ready ..."));
    EXPECT_THAT(j.dialogTexts(), ElementsAre(kPushTrayIn, kSuccess));
}

// A drive that no longer answers at all would keep the user in the check for ever: the job
// fails instead, and no worker is started for it.
TEST_F(DiscAndTray, ADriveThatStopsAnsweringFailsTheJob) {
    j.start();
    drive.InjectFault({0x00, 1, sim::Fault::Kind::Vanish, {}, 0.0});

    j.clickUpdate();
    j.finishRun();

    EXPECT_THAT(checkMessages(j.kit), ElementsAre("Check Disc & Tray Status...", "Tray Out ..."));
    EXPECT_THAT(j.dialogTexts(), ElementsAre(kFailure));
    EXPECT_EQ(drive.CommandCount(0x3B), 0u);
    EXPECT_TRUE(j.kit.terminated());
}

// The first drive's worker ends while the second drive's check waits for the user: that end
// must not end the run.
TEST_F(DiscAndTray, AWorkerEndingDuringALaterCheckDoesNotEndTheRun) {
    Journey automatic({{"AUTOMODE", "1"}, {"CHKDISC", "1"}, {"REBOOT", "0"}});
    sim::SimDrive& first = automatic.addDrive('D', testpackage::kOldRevision);
    sim::SimDrive& second = automatic.addDrive('E', testpackage::kOldRevision, {0, 0, 1, 0});
    second.SetDisc(sim::Disc::Present);
    automatic.kit.onDialog([&](const ui::DialogRecord& dialog) {
        if (dialog.text != kRemoveDisc) {
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (automatic.kit.pendingTasks() == 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_EQ(automatic.kit.pendingTasks(), 1u) << "the first job did not end in time";
        second.SetDisc(sim::Disc::Absent);
    });

    automatic.start();
    automatic.finishRun();

    EXPECT_THAT(automatic.dialogTexts(), ElementsAre(kRemoveDisc, kSuccess));
    EXPECT_EQ(automatic.flashOf(first).Commits(), 1u);
    EXPECT_EQ(automatic.flashOf(second).Commits(), 1u);
}

TEST_F(DiscAndTray, WithoutChkDiscTheTrayIsNotLookedAt) {
    Journey plain({{"CHKDISC", "0"}, {"REBOOT", "0"}});
    sim::SimDrive& other = plain.addDrive('D', testpackage::kOldRevision);
    other.SetTrayOpen(true);
    plain.start();

    plain.clickUpdate();
    plain.finishRun();

    EXPECT_EQ(other.CommandCount(0x4A), 0u);
    EXPECT_TRUE(checkMessages(plain.kit).empty());
}

} // namespace
} // namespace zelfin::apptest
