// The simulated drive as a model of a real one, and its transcript format.
#include "DeviceTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zelfin::testing {
namespace {

TEST(Transcript, LinesRoundTrip) {
    sim::TranscriptRecord record;
    record.cdb = {0x3B, 0x05, 0x01, 0x00, 0x10, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00};
    record.direction = 0;
    record.length = 4096;
    record.senseKey = 0x05;
    record.senseAsc = 0x26;
    record.senseAscq = 0x01;
    record.outcome = sim::Outcome::CheckCondition;
    record.seconds = 0.25;
    const std::string line = sim::FormatTranscriptLine(record);
    EXPECT_EQ(line, "3B 05 01 00 10 00 00 10 00 00 00 00 | out 4096 | sense 05/26/01 | check | "
                    "xfer 0 | 0.250000 s");
    const auto parsed = sim::ParseTranscriptLine(line);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->cdb, record.cdb);
    EXPECT_EQ(parsed->length, 4096u);
    EXPECT_EQ(parsed->senseAsc, 0x26);
    EXPECT_EQ(parsed->outcome, sim::Outcome::CheckCondition);
    EXPECT_FALSE(sim::ParseTranscriptLine("3B 05 | out").has_value());
}

TEST(Transcript, SinkReceivesEveryCommand) {
    NtMachine nt(1);
    std::vector<std::string> lines;
    nt.drives[0]->SetTranscriptSink([&](const std::string& line) { lines.push_back(line); });
    AtapiDevice device(nt.machine, true);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.size(), nt.drives[0]->Transcript().size());
    EXPECT_TRUE(sim::ParseTranscriptLine(lines.back()).has_value());
}

TEST(SimDrive, AnswersLikeAnMmcDrive) {
    NtMachine nt(1);
    sim::SimDrive& drive = *nt.drives[0];
    AtapiDevice device(nt.machine, true);
    ASSERT_TRUE(device.SelectDrive(0));

    drive.PowerOnReset();
    EXPECT_TRUE(device.Inquiry(0, 0, 0, 96, 0)) << "INQUIRY never reports unit attention";
    EXPECT_FALSE(device.TestUnitReady());
    EXPECT_TRUE(device.SenseIs(0x06, 0x29));
    EXPECT_TRUE(device.TestUnitReady()) << "reported once";

    drive.SetDisc(sim::Disc::Absent);
    EXPECT_FALSE(device.TestUnitReady());
    EXPECT_EQ(device.senseAscq, 0x01);
    drive.SetTrayOpen(true);
    EXPECT_FALSE(device.TestUnitReady());
    EXPECT_EQ(device.senseAscq, 0x02);

    EXPECT_FALSE(device.Inquiry(0, 1, 0x80, 96, 0)) << "no vital product data pages";
    EXPECT_TRUE(device.SenseIs(0x05, 0x24));
    EXPECT_FALSE(device.GetEventStatus(0, 0x10, 8, 0)) << "only polled operation";
}

TEST(SimDrive, InquiryHonoursTheAllocationLength) {
    NtMachine nt(1);
    AtapiDevice device(nt.machine, true);
    ASSERT_TRUE(device.SelectDrive(0));
    std::memset(device.readBuffer, 0xEE, 64);
    ASSERT_TRUE(device.Inquiry(0, 0, 0, 36, 0));
    EXPECT_EQ(device.transferred, 36u);
    EXPECT_EQ(device.readBuffer[36], 0xEE);
}

TEST(SimDrive, VanishedDriveFailsAtTheTransport) {
    NtMachine nt(1);
    AtapiDevice device(nt.machine, true);
    ASSERT_TRUE(device.SelectDrive(0));
    nt.drives[0]->InjectFault({0x00, 1, sim::Fault::Kind::Vanish});
    EXPECT_FALSE(device.TestUnitReady());
    EXPECT_FALSE(device.Inquiry(0, 0, 0, 96, 0));
    EXPECT_EQ(device.resultCode, 0);
    EXPECT_TRUE(nt.drives[0]->Vanished());
}

TEST(SimMachine, VirtualClockCostsNoRealTime) {
    sim::SimMachine machine;
    const double start = machine.NowSeconds();
    machine.Sleep(120000);
    EXPECT_NEAR(machine.NowSeconds() - start, 120.0, 1e-6);
}

} // namespace
} // namespace zelfin::testing

#include "sim/Scenario.h"
#include "sim/SimFlash.h"

namespace zelfin::testing {
namespace {

TEST(Scenario, DefaultIsOneSupportedDriveOnD) {
    sim::Scenario scenario = sim::DefaultScenario();
    AtapiDevice device(*scenario.machine, true);
    ASSERT_EQ(device.GetDriveCount(), 1);
    EXPECT_EQ(std::string(device.GetEntry(0)->root), "D:\\");
    EXPECT_EQ(std::string(device.GetEntry(0)->displayId), "BRYMOTE DVDRW RVM-270A  ");
    EXPECT_EQ(device.GetEntry(0)->flashId[0], 0xBF);
}

TEST(Scenario, TextDescribesDrivesAndTheMachine) {
    sim::Scenario scenario = sim::ParseScenario(R"(# two drives
os nt
letter C fixed
drive E OTHER "DVD-ROM X16" 2.10 other target=3   # not ours
drive F BRYMOTE "DVDRW RVM-270A" 1.02 flash=DA,C8,00,00 address=none disc=present
)");
    ASSERT_EQ(scenario.drives.size(), 2u);
    AtapiDevice device(*scenario.machine, true);
    ASSERT_EQ(device.GetDriveCount(), 2);
    EXPECT_EQ(device.GetEntry(0)->target, 3);
    EXPECT_EQ(device.GetEntry(1)->adapter, 2) << "made-up address";
    EXPECT_EQ(std::string(device.GetEntry(1)->revision), "1.02");

    EXPECT_THROW(sim::ParseScenario("drive D X Y 1.00 colour=blue"), std::invalid_argument);
    EXPECT_THROW(sim::ParseScenario("os mac"), std::invalid_argument);
}

TEST(Scenario, RefusesNumbersThatAreNotPlainInRange) {
    for (const char* option :
         {"seconds=nan", "seconds=inf", "seconds=-5", "seconds=abc", "seconds=", "seconds=1e9",
          "seconds=0x10", "port=-1", "port=+1", "port=256", "ready=-5", "lun=8",
          "open-error=18446744073709551621", "flash=BF,D6,00,-1"}) {
        EXPECT_THROW(sim::ParseScenario(std::string("drive D X Y 1.00 ") + option),
                     std::invalid_argument)
            << option;
    }
    EXPECT_NO_THROW(sim::ParseScenario("drive D X Y 1.00 seconds=0.25 port=0 ready=3"));
}

TEST(Scenario, FirmwareAndFaultLinesWaitForEveryDrive) {
    // A flash fault needs the flash a later firmware line fits, for a drive described last.
    sim::Scenario scenario = sim::ParseScenario("fault D readback\n"
                                                "firmware D revision=1A07\n"
                                                "drive D BRYMOTE \"DVDRW RVM-270A\" 1A05\n");
    ASSERT_EQ(scenario.drives.size(), 1u);
    ASSERT_NE(sim::SimFlash::Of(*scenario.drives[0]), nullptr);
    EXPECT_EQ(scenario.drives[0]->Revision(), "1A07") << "the image's identity, not the line's";
}

TEST(Scenario, RefusalsNameTheirLine) {
    const struct {
        const char* text;
        const char* line;
    } cases[] = {
        {"drive D X Y 1.00\nfirmware E\n", "scenario line 2: no drive E"},
        {"firmware D chip=BF,D8\ndrive D X Y 1.00\n", "scenario line 1: chip reads"},
        {"drive D X Y 1.00\nfirmware D revision=1A0\n", "scenario line 2: unknown firmware"},
        {"drive D X Y 1.00\n\nfault D no-such-kind\n", "scenario line 3: "},
        {"drive D X Y 1.00\nfault D readback\n", "scenario line 2: "}, // no flash fitted
        {"firmware D\ndrive D X Y 1.00\nos mac\n", "scenario line 3: cannot read"},
    };
    for (const auto& c : cases) {
        try {
            sim::ParseScenario(c.text);
            ADD_FAILURE() << c.text;
        } catch (const std::invalid_argument& error) {
            EXPECT_EQ(std::string(error.what()).rfind(c.line, 0), 0u) << error.what();
        }
    }
    EXPECT_THROW(sim::ReadScenarioFile("/no/such/scenario.txt"), std::runtime_error);
}

} // namespace
} // namespace zelfin::testing

namespace zelfin::testing {
namespace {

TEST(SimMachine, RealTimeClockServesBothTransports) {
    AspiMachine aspi(1);
    aspi.machine.SetClockMode(sim::ClockMode::Real);
    aspi.drives[0]->SetCommandSeconds(0.01);
    AtapiDevice device(aspi.machine, true);
    ASSERT_TRUE(device.SelectDrive(0));
    const double start = aspi.machine.NowSeconds();
    EXPECT_TRUE(device.TestUnitReady());
    EXPECT_GE(aspi.machine.NowSeconds() - start, 0.01);
    EXPECT_GE(device.elapsedSeconds, 0.009);

    NtMachine nt(1);
    nt.machine.SetClockMode(sim::ClockMode::Real);
    nt.drives[0]->SetCommandSeconds(0.01);
    AtapiDevice direct(nt.machine, true);
    ASSERT_TRUE(direct.SelectDrive(0));
    EXPECT_TRUE(direct.TestUnitReady());
    EXPECT_GE(direct.elapsedSeconds, 0.009);
}

} // namespace
} // namespace zelfin::testing
