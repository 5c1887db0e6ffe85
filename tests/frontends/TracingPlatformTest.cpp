// A trace taken at the platform seam says what the drive itself saw, on either transport.

#include "frontends/cli/TracingPlatform.h"
#include "device/AtapiDevice.h"
#include "sim/SimMachine.h"
#include "sim/Transcript.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
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
    }
    ~Traced() { std::fclose(file); }

    sim::SimMachine machine;
    sim::SimDrive& drive = machine.NewDrive("D");
    std::FILE* file = std::tmpfile();
    TracingPlatform tracing{machine, file};
};

TEST(TracingPlatform, PassThroughLinesEqualTheDrivesOwn) {
    Traced t(sim::OsFamily::NT);
    t.machine.AddOpticalLetter('D', t.drive, {1, 0, 0, 0});
    t.drive.SetDisc(sim::Disc::Absent);
    AtapiDevice device(t.tracing, true);
    ASSERT_EQ(device.GetDriveCount(), 1);
    ASSERT_TRUE(device.SelectDrive(0));
    EXPECT_TRUE(device.Inquiry(0, 0, 0, 96, 0));
    EXPECT_FALSE(device.TestUnitReady()); // no disc: a check condition with sense 02/3A
    const auto traced = linesOf(t.file);
    EXPECT_EQ(traced, driveRecord(t.drive));
    ASSERT_FALSE(traced.empty());
    EXPECT_NE(traced.back().find("sense 02/3A/01 | check"), std::string::npos) << traced.back();
    EXPECT_NE(traced.back().find("0.250000 s"), std::string::npos);
}

TEST(TracingPlatform, AspiRequestsAreWrittenWhenTheyComplete) {
    for (const bool events : {true, false}) {
        Traced t(sim::OsFamily::Windows95);
        t.machine.Aspi().installed = true;
        t.machine.SetEventCreationFails(!events);
        if (!events) {
            // A polling caller sees time pass only as it reads the clock.
            t.machine.SetCounterReadCost(0.001);
        }
        t.machine.AddAspiDevice(0, 1, 0, kDtypeCdrom, &t.drive);
        AtapiDevice device(t.tracing, true);
        ASSERT_EQ(device.GetDriveCount(), 1) << (events ? "events" : "polling");
        ASSERT_TRUE(device.SelectDrive(0));
        EXPECT_TRUE(device.Inquiry(0, 0, 0, 96, 0));
        const auto traced = linesOf(t.file);
        // The drive's lines, with the time the caller saw (polling adds its clock readings).
        const auto withoutTime = [](std::vector<std::string> v) {
            for (std::string& line : v) {
                line = line.substr(0, line.rfind('|'));
            }
            return v;
        };
        EXPECT_EQ(withoutTime(traced), withoutTime(driveRecord(t.drive)))
            << (events ? "events" : "polling");
        ASSERT_FALSE(traced.empty());
        EXPECT_NE(traced.back().find("| good | xfer 96 |"), std::string::npos) << traced.back();
    }
}

TEST(TracingPlatform, ARequestThatNeverCompletesIsWrittenAsAborted) {
    Traced t(sim::OsFamily::Windows95);
    t.machine.Aspi().installed = true;
    t.machine.AddAspiDevice(0, 1, 0, kDtypeCdrom, &t.drive);
    AtapiDevice device(t.tracing, true);
    ASSERT_TRUE(device.SelectDrive(0));
    sim::Fault hang;
    hang.opcode = 0x00;
    hang.kind = sim::Fault::Kind::Hang;
    t.drive.InjectFault(hang);
    device.SetTimeout(2);
    EXPECT_FALSE(device.TestUnitReady());
    const auto traced = linesOf(t.file);
    ASSERT_FALSE(traced.empty());
    EXPECT_NE(traced.back().find("00 00 00 00 00 00 00 00 00 00 00 00 | none 0"),
              std::string::npos);
    EXPECT_NE(traced.back().find("| aborted |"), std::string::npos) << traced.back();
}

} // namespace
} // namespace zelfin::cli
