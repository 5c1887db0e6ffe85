// The --trace file says what the drive itself saw, on either transport, from any thread.

#include "frontends/cli/TraceObserver.h"
#include "device/AtapiDevice.h"
#include "sim/SimMachine.h"
#include "sim/Transcript.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace zelfin::cli {
namespace {

std::vector<std::string> linesOf(std::FILE* file) {
    std::rewind(file);
    std::vector<std::string> lines;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
        std::string line(buffer);
        line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> driveRecord(const sim::SimDrive& drive) {
    std::vector<std::string> lines;
    for (const sim::TranscriptRecord& r : drive.Transcript()) {
        lines.push_back(sim::FormatTranscriptLine(r));
    }
    return lines;
}

struct Traced {
    explicit Traced(sim::OsFamily family) : machine(family) {
        machine.SetCounterReadCost(0.0);
        drive.SetIdentity("BRYMOTE", "DVDRW RVM-270A", "1A05");
        drive.SetCommandSeconds(0.25);
        if (family == sim::OsFamily::NT) {
            machine.AddOpticalLetter('D', drive, {1, 0, 0, 0});
        } else {
            machine.Aspi().installed = true;
            machine.AddAspiDevice(0, 1, 0, kDtypeCdrom, &drive);
        }
    }
    ~Traced() { std::fclose(file); }

    std::FILE* file = std::tmpfile();
    TraceObserver trace{file};
    sim::SimMachine machine;
    sim::SimDrive& drive = machine.NewDrive("D");
};

TEST(TraceObserver, PassThroughLinesEqualTheDrivesOwn) {
    Traced t(sim::OsFamily::NT);
    t.drive.SetDisc(sim::Disc::Absent);
    AtapiDevice device(t.machine, true, 0, &t.trace);
    ASSERT_EQ(device.GetDriveCount(), 1);
    ASSERT_TRUE(device.SelectDrive(0));
    EXPECT_TRUE(device.Inquiry(0, 0, 0, 96, 0));
    EXPECT_FALSE(device.TestUnitReady()); // no disc: a check condition with sense 02/3A
    device.CloseDrive();
    EXPECT_FALSE(device.TestUnitReady()) << "refused unsent: no line";
    const auto traced = linesOf(t.file);
    EXPECT_EQ(traced, driveRecord(t.drive));
    ASSERT_FALSE(traced.empty());
    EXPECT_NE(traced.back().find("sense 02/3A/01 | check"), std::string::npos) << traced.back();
    EXPECT_NE(traced.back().find("0.250000 s"), std::string::npos);
}

TEST(TraceObserver, AspiLinesEqualTheDrivesOwnButForTheTime) {
    for (const bool events : {true, false}) {
        Traced t(sim::OsFamily::Windows95);
        t.machine.SetEventCreationFails(!events);
        if (!events) {
            // A polling caller sees time pass only as it reads the clock.
            t.machine.SetCounterReadCost(0.001);
        }
        AtapiDevice device(t.machine, true, 0, &t.trace);
        ASSERT_EQ(device.GetDriveCount(), 1) << (events ? "events" : "polling");
        ASSERT_TRUE(device.SelectDrive(0));
        EXPECT_TRUE(device.Inquiry(0, 0, 0, 96, 0));
        const auto withoutTime = [](std::vector<std::string> v) {
            for (std::string& line : v) {
                line = line.substr(0, line.rfind('|'));
            }
            return v;
        };
        const auto traced = linesOf(t.file);
        EXPECT_EQ(withoutTime(traced), withoutTime(driveRecord(t.drive)))
            << (events ? "events" : "polling");
        ASSERT_FALSE(traced.empty());
        EXPECT_NE(traced.back().find("| good | xfer 96 |"), std::string::npos) << traced.back();
    }
}

// The word for a request the drive never answered says what became of it.
TEST(TraceObserver, UnansweredRequestsAreWrittenAsTheyEnded) {
    struct Case {
        const char* what;
        sim::OsFamily family;
        bool abortIgnored;
        const char* word;
    };
    const Case cases[] = {
        {"pass-through, cut off by the driver", sim::OsFamily::NT, false, "| pending |"},
        {"ASPI, retired by an abort", sim::OsFamily::Windows95, false, "| aborted |"},
        {"ASPI, not even the abort retired it", sim::OsFamily::Windows95, true, "| pending |"},
    };
    for (const Case& c : cases) {
        Traced t(c.family);
        t.machine.Aspi().abortIgnored = c.abortIgnored;
        AtapiDevice device(t.machine, true, 0, &t.trace);
        ASSERT_TRUE(device.SelectDrive(0)) << c.what;
        t.drive.InjectFault({0x00, 1, sim::Fault::Kind::Hang});
        device.SetTimeout(2);
        EXPECT_FALSE(device.TestUnitReady()) << c.what;
        const auto traced = linesOf(t.file);
        ASSERT_FALSE(traced.empty()) << c.what;
        EXPECT_EQ(traced.back().rfind("00 00 00 00 00 00 00 00 00 00 00 00 | none 0", 0), 0u)
            << c.what;
        EXPECT_NE(traced.back().find(c.word), std::string::npos) << c.what << ": " << traced.back();
    }
}

// Jobs on several threads share the file: each line stays whole.
TEST(TraceObserver, LinesFromSeveralThreadsStayWhole) {
    std::FILE* file = std::tmpfile();
    TraceObserver trace(file);
    sim::SimMachine machine;
    constexpr int kJobs = 4;
    constexpr int kCommands = 200;
    for (int i = 0; i < kJobs; ++i) {
        machine.AddOpticalLetter(static_cast<char>('D' + i), machine.NewDrive(),
                                 {1, 0, static_cast<uint8_t>(i), 0});
    }
    AtapiDevice master(machine, true, 0, &trace);
    std::vector<std::thread> jobs;
    for (int i = 0; i < kJobs; ++i) {
        jobs.emplace_back([&, i] {
            AtapiDevice job(machine, false);
            master.CopyStateTo(&job);
            ASSERT_TRUE(job.SelectDrive(static_cast<int16_t>(i)));
            for (int n = 0; n < kCommands; ++n) {
                job.Inquiry(0, 0, 0, 96, 0);
            }
        });
    }
    for (std::thread& job : jobs) {
        job.join();
    }
    const auto traced = linesOf(file);
    std::fclose(file);
    EXPECT_GE(traced.size(), std::size_t{kJobs * kCommands});
    for (const std::string& line : traced) {
        ASSERT_TRUE(sim::ParseTranscriptLine(line).has_value()) << line;
    }
}

} // namespace
} // namespace zelfin::cli
