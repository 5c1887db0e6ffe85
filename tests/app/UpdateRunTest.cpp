// A run without the window: each job's verdict comes from what its drive answers after the run,
// never from what the job's worker said.
#include "Journey.h"

#include "app/RunEndClock.h"
#include "app/UpdateRun.h"
#include "flash/Programming.h"
#include "sim/DriveFault.h"
#include "tools/TestPackage.h"

#include <gtest/gtest.h>

namespace zelfin::apptest {
namespace {

using app::HoldRefusal;
using app::Job;
using app::JobState;
using app::UpdateRun;

struct Case {
    const char* name;
    const char* fault;  // a drive fault line, or empty
    bool busy;          // someone else holds the drive
    bool bankAfterBoot; // the vendor's packing mistake: bank 1 without its boot area
    std::string_view failure;
};

const Case kCases[] = {
    {"updated", "", false, false, ""},
    {"held elsewhere", "", true, false,
     "the job did not start (drive in use, no bank, or disc and tray check ended)"},
    {"write fails", "fault D write-fails 3", false, false,
     "programming failed at piece 3 (offset 0x3000) of pass 3, WRITE BUFFER: check condition, "
     "sense 4/44/00 HARDWARE ERROR, INTERNAL TARGET FAILURE"},
    {"gone after commit", "fault D gone-after-commit", false, false,
     "the wait after the restart: the drive was not read again (last try: no answer, the request "
     "failed below the drive)"},
    {"left on boot code", "", false, true,
     "identity: the drive does not answer as its bank says it will (it answers BRYMOTE DVDRW "
     "RVM-270A B100; its bank's is 1A07)"},
};

TEST(UpdateRun, EachJobsVerdictIsWhatItsDriveAnswersAfterTheRun) {
    for (const Case& c : kCases) {
        Journey j;
        sim::SimDrive& drive = j.addDrive('D', testpackage::kOldRevision);
        if (c.bankAfterBoot) {
            setField(j.package->BIN_START[0], "BIN_START1=0000065536");
            setField(j.package->BIN_SIZE[0], "BIN_SIZE1=0000983040");
        }
        if (*c.fault != '\0') {
            sim::DriveFault::Parse(c.fault).Apply(drive);
        }
        j.machine.SetDriveBusy(drive, c.busy);
        const Package package(*j.package);
        AtapiDevice master(j.machine, true);
        UpdateRun run(j.machine, j.machine, master, package, [] { return false; });

        run.begin();
        HoldRefusal refusal;
        if (run.prepare(0, refusal)) {
            Job& job = run.job(0);
            const std::optional<Bank> bank = run.assignBank(job);
            ASSERT_TRUE(bank) << c.name;
            RunFlashJob({job.device.get(), bank->data, static_cast<int32_t>(bank->length), false,
                         &job.flashFailure});
            job.state = JobState::Running;
        }
        EXPECT_EQ(refusal.entry != nullptr, c.busy) << c.name;
        run.collect();
        {
            app::RunEndClock clock(master.generalWatch, kProgrammingReadyLimitSeconds);
            run.readAgain(0, clock);
        }
        run.end();

        EXPECT_EQ(run.failure(0), c.failure) << c.name;
        EXPECT_EQ(run.succeeded(), c.failure.empty()) << c.name;
        if (c.failure.empty()) {
            EXPECT_EQ(drive.Revision(), testpackage::kNewRevision) << c.name;
        }
    }
}

} // namespace
} // namespace zelfin::apptest
