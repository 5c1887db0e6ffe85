// Automatic mode at the limit of 16 drives, some of them failing: one result after all jobs,
// and each drive holding exactly what its own job did to it.
#include "Journey.h"

#include "tools/TestPackage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace zelfin::apptest {
namespace {

enum class Flash { New, Old, BootCode };

struct DriveCase {
    const char* what;
    std::function<void(sim::SimDrive&, sim::SimFlash&)> fault;
    uint32_t pieceWrites; // WRITE BUFFER pieces the drive took from its own job
    uint32_t commits;     // commit commands it receives
    Flash flash;
};

// The pieces a drive took, in order, one sequence per pass: a job writing to a drive not its
// own would break the order or the count. Commit commands are counted whatever their outcome.
bool piecesInPassOrder(const sim::SimDrive& drive, uint32_t& writes, uint32_t& commits) {
    uint32_t expected = 0;
    writes = 0;
    commits = 0;
    for (const sim::TranscriptRecord& r : drive.Transcript()) {
        commits += r.cdb[0] == 0x3B && (r.cdb[9] == 0x80 || r.cdb[9] == 0xA0) ? 1 : 0;
        if (r.cdb[0] != 0x3B || r.cdb[9] != 0x00 || r.length != 4096 ||
            r.outcome != sim::Outcome::Good) {
            continue;
        }
        const uint32_t piece = ((uint32_t{r.cdb[3]} << 16) | (uint32_t{r.cdb[4]} << 8)) / 4096;
        if (piece != expected && piece != 0) {
            return false;
        }
        expected = piece + 1;
        ++writes;
    }
    return true;
}

TEST(AutomaticUpdate, SixteenDrivesSomeFailingEachHoldWhatItsOwnJobDid) {
    const std::vector<DriveCase> kinds = {
        {"fault-free", {}, 256, 1, Flash::New},
        {"commit refused", [](sim::SimDrive&, sim::SimFlash& f) { f.Faults().commitFails = true; },
         256, 1, Flash::Old},
        {"piece 77 never reads back right",
         [](sim::SimDrive&, sim::SimFlash& f) {
             for (uint32_t pass = 1; pass <= 3; ++pass) {
                 f.Faults().readBackDiffers.push_back({77, pass, 5});
             }
         },
         3 * 78, 0, Flash::Old},
        {"vanishes reading back piece 99",
         [](sim::SimDrive& d, sim::SimFlash&) {
             d.InjectFault({0x3C, 100, sim::Fault::Kind::Vanish, {}, 0.0});
         },
         100, 0, Flash::Old},
        {"power lost in the commit",
         [](sim::SimDrive&, sim::SimFlash& f) { f.Faults().powerLossAtSector = 128; }, 256, 1,
         Flash::BootCode},
    };
    Journey j({{"AUTOMODE", "1"}, {"REBOOT", "0"}, {"CLOSEAP", "1"}});
    std::vector<sim::SimDrive*> drives;
    std::vector<const DriveCase*> cases;
    for (int i = 0; i < 16; ++i) {
        // Every third drive fails, each in its own way; the rest are fault-free.
        const DriveCase& c = kinds[i % 3 == 1 ? 1 + (i / 3) % 4 : 0];
        sim::SimDrive& drive = j.addDrive(static_cast<char>('D' + i), "1A0" + std::to_string(i % 7),
                                          {0, 0, static_cast<uint8_t>(i), 0});
        if (c.fault) {
            c.fault(drive, j.flashOf(drive));
        }
        drives.push_back(&drive);
        cases.push_back(&c);
    }

    j.start();
    EXPECT_EQ(j.main->workersRunning(), 16);
    j.finishRun();

    EXPECT_THAT(
        j.dialogTexts(),
        testing::ElementsAre("Unable to flash firmware. Please contact with your vendor !"));
    const auto newImage = testpackage::makeImage(testpackage::kBootRevision, "1A07");
    for (std::size_t i = 0; i < drives.size(); ++i) {
        const DriveCase& c = *cases[i];
        sim::SimFlash& flash = j.flashOf(*drives[i]);
        const auto contents = flash.Contents();
        const auto oldImage =
            testpackage::makeImage(testpackage::kBootRevision, "1A0" + std::to_string(i % 7));
        uint32_t writes = 0;
        uint32_t commits = 0;
        EXPECT_TRUE(piecesInPassOrder(*drives[i], writes, commits))
            << "drive " << i << ": " << c.what;
        EXPECT_EQ(writes, c.pieceWrites) << "drive " << i << ": " << c.what;
        EXPECT_EQ(commits, c.commits) << "drive " << i << ": " << c.what;
        switch (c.flash) {
        case Flash::New:
            EXPECT_TRUE(
                std::equal(contents.begin(), contents.end(), newImage.begin(), newImage.end()))
                << "drive " << i;
            break;
        case Flash::Old:
            EXPECT_TRUE(
                std::equal(contents.begin(), contents.end(), oldImage.begin(), oldImage.end()))
                << "drive " << i << ": " << c.what;
            break;
        case Flash::BootCode:
            EXPECT_EQ(flash.Running(), sim::SimFirmware::BootCode) << "drive " << i;
            break;
        }
    }
}

} // namespace
} // namespace zelfin::apptest
