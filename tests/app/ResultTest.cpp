// What the program reports follows what the program carries and what the drive answers: a
// damaged package never reaches a drive, and a drive that did not take its bank is no success.
#include "Journey.h"

#include "app/Texts.h"
#include "app/Zelfin.h"
#include "tools/TestPackage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zelfin::apptest {
namespace {

using testing::ElementsAre;

const std::string kOld(testpackage::kOldRevision);
const std::string kNew(testpackage::kNewRevision);
const std::string kBoot(testpackage::kBootRevision);
const std::string kLine = " 0-0-0-0 D:BRYMOTE DVDRW RVM-270A   ";

// One byte changed after packing, anywhere in the block or in the seal itself.
TEST(DamagedPackage, EndsStartUpBeforeAnyDriveIsOpened) {
    const std::size_t places[] = {0, offsetof(PackageBlock, constraints) + 5,
                                  offsetof(PackageBlock, FW_IMAGE) + 700000,
                                  sizeof(PackageBlock) - 1};
    for (const std::size_t at : places) {
        Journey j;
        sim::SimDrive& drive = j.addDrive('D', kOld);
        const PackageSeal seal = j.seal();
        reinterpret_cast<std::uint8_t*>(j.package.get())[at] ^= 0x10;

        EXPECT_EQ(app::runZelfin(j.kit, j.machine, j.machine, *j.package, seal), 0);

        EXPECT_THAT(j.dialogTexts(), ElementsAre(app::text::kPackageDamaged)) << at;
        EXPECT_EQ(j.machine.OpenCount('D'), 0u) << at;
        EXPECT_TRUE(drive.Transcript().empty()) << at;
    }
    Journey unsealed;
    unsealed.addDrive('D', kOld);
    app::runZelfin(unsealed.kit, unsealed.machine, unsealed.machine, *unsealed.package,
                   PackageSeal{});
    EXPECT_THAT(unsealed.dialogTexts(), ElementsAre(app::text::kPackageDamaged));
}

// A vendor's packing mistake: bank 1 taken from 64 KiB on, written without the boot area. The
// commit comes back GOOD, but the drive is left on its boot code and says so.
TEST(RunResult, ADriveLeftOnItsBootCodeIsAFailureAndTheListShowsWhatItReports) {
    Journey j({{"REBOOT", "0"}, {"CLOSEAP", "0"}, {"BOOTCODE", "0"}});
    setField(j.package->BIN_START[0], "BIN_START1=0000065536");
    setField(j.package->BIN_SIZE[0], "BIN_SIZE1=0000983040");
    sim::SimDrive& drive = j.addDrive('D', kOld);
    j.start();
    j.clickUpdate();
    j.finishRun();

    EXPECT_EQ(j.flashOf(drive).Commits(), 1u);
    EXPECT_THAT(j.dialogTexts(), ElementsAre(app::text::kFlashFailed));
    EXPECT_EQ(drive.Revision(), kBoot);
    EXPECT_EQ(j.control("cboDrives").items[0], kLine + kBoot);
    EXPECT_TRUE(j.kit.terminated());
}

// After its commit the drive answers nothing at all: the program waits a bounded time for it to
// come back, then reports the failure. One that answers but gives no identity is not waited for.
TEST(RunResult, ADriveGoneAfterItsCommitIsAFailureAfterABoundedWait) {
    Journey j({{"REBOOT", "0"}, {"CLOSEAP", "0"}});
    sim::SimDrive& drive = j.addDrive('D', kOld);
    j.start();
    drive.InjectFault({0x12, 1, sim::Fault::Kind::Vanish});
    const double clickedAt = j.machine.NowSeconds();
    j.clickUpdate();
    j.finishRun();

    EXPECT_EQ(j.flashOf(drive).Commits(), 1u);
    EXPECT_THAT(j.dialogTexts(), ElementsAre(app::text::kFlashFailed));
    const double waited = j.machine.NowSeconds() - clickedAt;
    EXPECT_GT(waited, 60.0);
    EXPECT_LT(waited, 200.0);

    Journey silent({{"REBOOT", "0"}, {"CLOSEAP", "0"}});
    sim::SimDrive& mute = silent.addDrive('D', kOld);
    silent.start();
    mute.InjectFault({0x12, 0, sim::Fault::Kind::Transport});
    silent.clickUpdate();
    silent.finishRun();
    EXPECT_THAT(silent.dialogTexts(), ElementsAre(app::text::kFlashFailed));
}

// A drive slow to come back after its restart is waited for: its first round of identity reads
// gets no answer, the next one does, and the run succeeds.
TEST(RunResult, ADriveThatAnswersAgainWithinTheWaitIsASuccess) {
    Journey j({{"REBOOT", "0"}, {"CLOSEAP", "0"}});
    sim::SimDrive& drive = j.addDrive('D', kOld);
    j.start();
    const uint32_t inquiriesBefore = drive.CommandCount(0x12);
    for (uint32_t i = 1; i <= 10; ++i) {
        drive.InjectFault({0x12, i, sim::Fault::Kind::Transport});
    }
    j.clickUpdate();
    j.finishRun();

    EXPECT_EQ(drive.CommandCount(0x12) - inquiriesBefore, 11u);
    EXPECT_THAT(j.dialogTexts(), ElementsAre(app::text::kUpdated));
    EXPECT_EQ(j.control("cboDrives").items[0], kLine + kNew);
}

// What the drive does once its commit has gone through, and what the run must then say. The
// list entry from before the run never stands in for an answer: a drive that is not read again
// is a failure, and a drive that is merely slow is waited for within the bound.
struct AfterCommit {
    const char* name;
    const char* installed;          // the drive's revision before the run
    bool download;                  // a 131,072-byte bank
    std::vector<sim::Fault> faults; // armed on INQUIRY once start-up has read the drive
    std::string_view result;
    double longestWait; // simulated seconds from the click to the result
};

TEST(RunResult, OnlyAnIdentityReadAfterTheRunDecides) {
    using Kind = sim::Fault::Kind;
    constexpr sim::Sense kNotReady{0x02, 0x04, 0x01};
    auto senses = [](uint32_t count, sim::Sense sense) {
        std::vector<sim::Fault> faults;
        for (uint32_t i = 1; i <= count; ++i) {
            faults.push_back({0x12, i, Kind::Sense, sense});
        }
        return faults;
    };
    const std::vector<AfterCommit> cases = {
        {"up to date, reflashed, never answers",
         "1A07",
         false,
         {{0x12, 1, Kind::Vanish}},
         app::text::kFlashFailed,
         90},
        {"download bank, never answers",
         "1A05",
         true,
         {{0x12, 1, Kind::Vanish}},
         app::text::kFlashFailed,
         90},
        {"hangs on every command",
         "1A05",
         false,
         {{0x12, 0, Kind::Hang}},
         app::text::kFlashFailed,
         90},
        {"NOT READY for 30 tries", "1A05", false, senses(30, kNotReady), app::text::kUpdated, 90},
        {"UNIT ATTENTION to INQUIRY for 20 tries", "1A05", false, senses(20, {0x06, 0x29, 0x00}),
         app::text::kUpdated, 90},
    };
    for (const AfterCommit& c : cases) {
        Journey j({{"REBOOT", "0"}, {"CLOSEAP", "0"}, {"N2OMESSAGE", "0"}});
        if (c.download) {
            setField(j.package->BIN_SIZE[0], "BIN_SIZE1=0000131072");
        }
        sim::SimDrive& drive = j.addDrive('D', c.installed);
        j.start();
        for (const sim::Fault& fault : c.faults) {
            drive.InjectFault(fault);
        }
        const double clickedAt = j.machine.NowSeconds();
        j.clickUpdate();
        j.finishRun();

        EXPECT_THAT(j.dialogTexts(), ElementsAre(c.result)) << c.name;
        EXPECT_LT(j.machine.NowSeconds() - clickedAt, c.longestWait) << c.name;
    }
}

} // namespace
} // namespace zelfin::apptest
