// Several device objects driving different drives from different threads at once.
#include "DeviceTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace zelfin::testing {
namespace {

void RunJobs(sim::SimMachine& machine, AtapiDevice& master, int count) {
    std::vector<std::thread> workers;
    std::vector<int> ok(static_cast<size_t>(count), 0);
    for (int i = 0; i < count; ++i) {
        workers.emplace_back([&, i] {
            AtapiDevice job(machine, false);
            master.CopyStateTo(&job);
            if (!job.SelectDrive(static_cast<int16_t>(i))) {
                return;
            }
            bool good = job.WaitReady(60);
            for (int n = 0; n < 50 && good; ++n) {
                std::memset(job.writeBuffer, n, 4096);
                good = job.DownloadPiece(static_cast<uint32_t>(n) * 4096, 4096) ||
                       job.SenseIs(0x05, 0x20);
                good = good && job.Inquiry(0, 0, 0, 96, 0);
            }
            ok[static_cast<size_t>(i)] = good ? 1 : 0;
        });
    }
    for (std::thread& t : workers) {
        t.join();
    }
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(ok[static_cast<size_t>(i)], 1) << "job " << i;
    }
}

TEST(Concurrency, JobsOnPassThroughDrives) {
    NtMachine nt(4);
    for (sim::SimDrive* drive : nt.drives) {
        drive->SetBecomingReady(5);
        drive->SetCommandSeconds(0.002);
    }
    AtapiDevice master(nt.machine, true);
    RunJobs(nt.machine, master, 4);
    EXPECT_EQ(nt.machine.OpenHandleCount(), 0);
    EXPECT_EQ(nt.machine.BadHandleUses(), 0u);
}

TEST(Concurrency, JobsOnAspiDrives) {
    AspiMachine aspi(3);
    for (sim::SimDrive* drive : aspi.drives) {
        drive->SetCommandSeconds(0.002);
    }
    AtapiDevice master(aspi.machine, true);
    RunJobs(aspi.machine, master, 3);
    EXPECT_EQ(aspi.machine.PendingRequests(), 0u);
}

} // namespace
} // namespace zelfin::testing
