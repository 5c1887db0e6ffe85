// A run against the machine around it: each job's drive held from before its first changing
// command until the drives have been read again, a drive someone else has failing only its own
// job, a request to end the program held until the run is over, and the restart asked for only
// once the run's guards are down.
#include "Journey.h"

#include "tools/TestPackage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace zelfin::apptest {
namespace {

using sim::GuardEvent;
using testing::ElementsAre;
using testing::HasSubstr;

constexpr std::string_view kSuccess = "Firmware has been updated successfully !";
constexpr std::string_view kFailure = "Unable to flash firmware. Please contact with your vendor !";

// Commands that only look: anything else changes the drive (tray, disc, loader, flash).
bool changes(const sim::TranscriptRecord& r) {
    switch (r.cdb[0]) {
    case 0x00: // TEST UNIT READY
    case 0x03: // REQUEST SENSE
    case 0x12: // INQUIRY
    case 0x3C: // READ BUFFER
    case 0x4A: // GET EVENT STATUS NOTIFICATION
    case 0xDF: // the flash chip's identification, read by the scan too
        return false;
    default:
        return true;
    }
}

std::size_t firstChange(const sim::SimDrive& drive) {
    const auto t = drive.Transcript();
    return static_cast<std::size_t>(std::find_if(t.begin(), t.end(), changes) - t.begin());
}

std::vector<sim::GuardRecord> guardsOf(const sim::SimMachine& machine, const sim::SimDrive* drive) {
    std::vector<sim::GuardRecord> out;
    for (const sim::GuardRecord& g : machine.GuardRecords()) {
        if (g.drive == drive) {
            out.push_back(g);
        }
    }
    return out;
}

struct OrderCase {
    const char* name;
    const char* chkdisc;
    sim::Disc disc;
    bool restartNow; // REBOOT 1, and the prompt answered with Now
};

class HoldOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(HoldOrder, HeldBeforeTheFirstChangeAndReleasedAfterTheRefresh) {
    const OrderCase& c = GetParam();
    Journey j({{"CHKDISC", c.chkdisc}, {"REBOOT", c.restartNow ? "1" : "0"}});
    sim::SimDrive& drive = j.addDrive('D', testpackage::kOldRevision);
    drive.SetDisc(c.disc);
    if (c.restartNow) {
        j.kit.pressInNextModal(ui::idOf(ui::RebootControl::cmdRebootNow));
    }
    j.kit.onDialog([&](const ui::DialogRecord&) { drive.SetDisc(sim::Disc::Absent); });
    j.start();
    j.clickUpdate();
    EXPECT_TRUE(j.kit.runUnderWay());
    j.finishRun();

    EXPECT_THAT(j.dialogTexts(), testing::Contains(kSuccess));
    const auto holds = guardsOf(j.machine, &drive);
    ASSERT_EQ(holds.size(), 2u);
    EXPECT_EQ(holds[0].event, GuardEvent::Hold);
    EXPECT_LE(holds[0].commandsBefore, firstChange(drive));
    EXPECT_EQ(holds[1].event, GuardEvent::Release);
    // Released once the drive has told its new identity, and nothing sent after that.
    const auto t = drive.Transcript();
    ASSERT_EQ(holds[1].commandsBefore, t.size());
    EXPECT_EQ(t.back().cdb[0], 0x12);
    // The run's guards enclose the hold; the restart comes after them.
    std::vector<GuardEvent> machineEvents;
    for (const sim::GuardRecord& g : guardsOf(j.machine, nullptr)) {
        machineEvents.push_back(g.event);
    }
    std::vector<GuardEvent> expected{GuardEvent::BeginRun, GuardEvent::EndRun};
    if (c.restartNow) {
        expected.push_back(GuardEvent::Restart);
    }
    EXPECT_EQ(machineEvents, expected);
    const auto all = j.machine.GuardRecords();
    EXPECT_EQ(all.front().event, GuardEvent::BeginRun);
    EXPECT_EQ(all.back().event, expected.back());
    EXPECT_FALSE(j.machine.RunUnderWay());
    EXPECT_FALSE(j.kit.runUnderWay());
    EXPECT_EQ(j.machine.BadHandleUses(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Run, HoldOrder,
    testing::Values(OrderCase{"WithoutDiscCheck", "0", sim::Disc::Absent, false},
                    OrderCase{"DiscEjectedFirst", "1", sim::Disc::Present, false},
                    OrderCase{"ThenRestarted", "0", sim::Disc::Absent, true}),
    [](const testing::TestParamInfo<OrderCase>& param) { return std::string(param.param.name); });

TEST(DriveHold, ABusyDriveInAnAutomaticRunFailsAloneAndIsNeverChanged) {
    Journey j({{"AUTOMODE", "1"}, {"REBOOT", "0"}, {"CLOSEAP", "1"}});
    sim::SimDrive& d = j.addDrive('D', testpackage::kOldRevision, {1, 0, 0, 0});
    sim::SimDrive& e = j.addDrive('E', testpackage::kOldRevision, {1, 0, 1, 0});
    sim::SimDrive& f = j.addDrive('F', testpackage::kOldRevision, {1, 0, 2, 0});
    j.machine.SetDriveBusy(e, true);
    j.start();
    j.finishRun();

    EXPECT_EQ(j.flashOf(d).Commits(), 1u);
    EXPECT_EQ(j.flashOf(f).Commits(), 1u);
    EXPECT_EQ(firstChange(e), e.Transcript().size()) << "the busy drive was changed";
    const auto texts = j.dialogTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_THAT(texts[0], HasSubstr("The drive E: (BRYMOTE DVDRW RVM-270A, 1-0-1-0) is in use"));
    EXPECT_THAT(texts[0], HasSubstr("close every other program that uses the drive"));
    EXPECT_EQ(texts[1], kFailure);
    EXPECT_EQ(guardsOf(j.machine, &e).front().event, GuardEvent::HoldRefused);
    EXPECT_EQ(j.machine.HeldDrives(), 0);
    EXPECT_FALSE(j.machine.RunUnderWay());
}

TEST(DriveHold, ABusyDriveInAManualRunEndsItBeforeAnythingChanges) {
    Journey j({{"CHKDISC", "1"}});
    sim::SimDrive& d = j.addDrive('D', testpackage::kOldRevision);
    d.SetDisc(sim::Disc::Present);
    j.machine.SetDriveBusy(d, true);
    j.start();
    j.clickUpdate();
    j.finishRun();

    EXPECT_EQ(firstChange(d), d.Transcript().size());
    EXPECT_THAT(j.dialogTexts(), ElementsAre(HasSubstr("Take the disc out"), kFailure));
    EXPECT_TRUE(j.kit.terminated());
    EXPECT_FALSE(j.machine.RunUnderWay());
}

struct StopCase {
    const char* reboot;
    const char* closeap;
};

class StopDuringRun : public testing::TestWithParam<StopCase> {};

// Whatever the settings say happens after a successful run (reboot prompt, staying open), a
// request to end the program that came during the run ends it after the result.
TEST_P(StopDuringRun, TheRunFinishesThenTheProgramEnds) {
    Journey j({{"REBOOT", GetParam().reboot}, {"CLOSEAP", GetParam().closeap}});
    sim::SimDrive& d = j.addDrive('D', testpackage::kOldRevision);
    j.machine.SetStopDuringRun(true);
    j.start();
    j.clickUpdate();
    j.kit.tick();
    EXPECT_EQ(j.control("lblMsg").text,
              "Writing the drive: the program will stop once that is safe.");
    j.finishRun();

    EXPECT_EQ(j.flashOf(d).Commits(), 1u);
    EXPECT_THAT(j.dialogTexts(), ElementsAre(kSuccess));
    EXPECT_TRUE(j.kit.terminated());
    EXPECT_THAT(j.kit.log(), testing::Not(testing::Contains(HasSubstr("modal"))));
}

INSTANTIATE_TEST_SUITE_P(Settings, StopDuringRun,
                         testing::Values(StopCase{"1", "0"}, StopCase{"0", "0"}));

} // namespace
} // namespace zelfin::apptest
