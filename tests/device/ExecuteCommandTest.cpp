// One command through either transport: request blocks, result rules, time-outs and refusals.
#include "DeviceTestSupport.h"

#include "sim/DriveFault.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zelfin::testing {
namespace {

uint32_t Low32(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

class PassThrough : public ::testing::Test {
protected:
    PassThrough() : device(nt.machine, true) {
        EXPECT_TRUE(device.SelectDrive(0));
        drive().ClearTranscript();
    }
    sim::SimDrive& drive() { return *nt.drives[0]; }
    NtMachine nt{1};
    AtapiDevice device;
};

TEST_F(PassThrough, FillsTheBlockAsTheDriverExpects) {
    ASSERT_TRUE(device.Inquiry(0, 0, 0, 96, 0));
    const PassThroughBlock block = nt.machine.LastPassThroughBlock();
    EXPECT_EQ(block.sptd.Length, 44);
    EXPECT_EQ(block.sptd.PathId, 1) << "low byte of the adapter";
    EXPECT_EQ(block.sptd.TargetId, 0);
    EXPECT_EQ(block.sptd.Lun, 0);
    EXPECT_EQ(block.sptd.CdbLength, 12);
    EXPECT_EQ(block.sptd.SenseInfoLength, 24);
    EXPECT_EQ(block.sptd.SenseInfoOffset, 48u);
    EXPECT_EQ(block.sptd.DataIn, kScsiIoctlDataIn);
    EXPECT_EQ(block.sptd.DataTransferLength, 96u);
    EXPECT_EQ(block.sptd.TimeOutValue, 108000u);
    EXPECT_EQ(block.sptd.DataBuffer, Low32(device.readBuffer));
    const uint8_t cdb[16] = {0x12, 0, 0, 0, 0x60};
    EXPECT_EQ(std::memcmp(block.sptd.Cdb, cdb, 16), 0);
    EXPECT_EQ(device.transferred, 96u);
    EXPECT_EQ(device.resultCode, 1);
}

TEST_F(PassThrough, DirectionPicksTheBufferAndNoDataSendsNone) {
    const uint8_t cdb[12] = {0x3B, 0x05, 0x01};
    device.ExecuteCommand(cdb, kDirectionOut, 16);
    EXPECT_EQ(nt.machine.LastPassThroughBlock().sptd.DataBuffer, Low32(device.writeBuffer));
    EXPECT_EQ(nt.machine.LastPassThroughBlock().sptd.DataIn, kScsiIoctlDataOut);

    device.ExecuteCommand(cdb, kDirectionNone, 4096);
    EXPECT_FALSE(device.LastCommandRefused()) << "no buffer is used, so no capacity applies";
    EXPECT_EQ(nt.machine.LastPassThroughBlock().sptd.DataBuffer, 0u);
    EXPECT_EQ(nt.machine.LastPassThroughBlock().sptd.DataTransferLength, 4096u);

    device.Inquiry(0, 0, 0, 0, 0);
    EXPECT_EQ(nt.machine.LastPassThroughBlock().sptd.DataBuffer, 0u);
}

TEST_F(PassThrough, SenseKeyIgnoresTheBitsAboveIt) {
    drive().InjectFault({0x00, 1, sim::Fault::Kind::Sense, {0x20 | 0x05, 0x24, 0x07}});
    EXPECT_FALSE(device.TestUnitReady());
    EXPECT_EQ(device.senseKey, 0x05);
    EXPECT_EQ(device.senseAsc, 0x24);
    EXPECT_EQ(device.senseAscq, 0x07);
    EXPECT_EQ(device.resultCode, 2);
    EXPECT_TRUE(device.SenseIs(0x05, 0x24));
    EXPECT_TRUE(device.SenseKeyIs(0x05));
}

// Fixed and descriptor format put key, code and qualifier at different bytes; both transports
// read the same condition from either.
TEST(SenseFormats, DescriptorSenseReadsAsFixedDoes) {
    for (const bool descriptor : {false, true}) {
        for (const bool aspi : {false, true}) {
            NtMachine nt(1);
            AspiMachine old(1);
            sim::SimDrive& drive = aspi ? *old.drives[0] : *nt.drives[0];
            AtapiDevice device(aspi ? static_cast<Platform&>(old.machine) : nt.machine, true);
            ASSERT_TRUE(device.SelectDrive(0));
            if (descriptor) {
                sim::DriveFault::Parse(std::string_view("fault D descriptor-sense")).Apply(drive);
            }
            drive.QueueUnitAttention({0x06, 0x3F, 0x01});
            EXPECT_FALSE(device.TestUnitReady());
            EXPECT_EQ(device.resultCode, 2) << descriptor << aspi;
            EXPECT_EQ(device.senseKey, 0x06) << descriptor << aspi;
            EXPECT_EQ(device.senseAsc, 0x3F) << descriptor << aspi;
            EXPECT_EQ(device.senseAscq, 0x01) << descriptor << aspi;
        }
    }
}

TEST_F(PassThrough, CheckConditionWithoutSenseIsAFailure) {
    drive().InjectFault({0x3B, 1, sim::Fault::Kind::StatusOnly});
    EXPECT_FALSE(device.WriteBuffer(0, 0, kWriteCodeCommit));
    EXPECT_EQ(device.senseKey, 0);
    EXPECT_EQ(device.resultCode, 0) << "no sense key: not a drive answer the caller can decode";
    EXPECT_EQ(device.transferred, 0u);
}

TEST_F(PassThrough, TransportFailureGivesResultZero) {
    drive().InjectFault({0x12, 1, sim::Fault::Kind::Transport});
    EXPECT_FALSE(device.Inquiry(0, 0, 0, 96, 0));
    EXPECT_EQ(device.resultCode, 0);
    EXPECT_EQ(device.transferred, 0u);
}

TEST_F(PassThrough, ElapsedEqualToTheTimeoutIsNotTimedOut) {
    device.SetTimeout(5);
    drive().InjectFault({0x00, 1, sim::Fault::Kind::Slow, {}, 5.0});
    EXPECT_TRUE(device.TestUnitReady());
    EXPECT_DOUBLE_EQ(device.elapsedSeconds, 5.0);
    EXPECT_EQ(device.timedOut, 0);

    drive().InjectFault({0x00, 1, sim::Fault::Kind::Slow, {}, 5.5});
    EXPECT_FALSE(device.TestUnitReady()) << "completed by the drive, but too late";
    EXPECT_EQ(device.timedOut, 1);
    EXPECT_EQ(device.resultCode, 0);
    EXPECT_EQ(device.senseKey, 0);
}

TEST_F(PassThrough, HungCommandEndsWithTheDriversTimeout) {
    device.SetTimeout(3);
    drive().InjectFault({0x00, 1, sim::Fault::Kind::Hang});
    EXPECT_FALSE(device.TestUnitReady());
    EXPECT_EQ(device.resultCode, 0);
    EXPECT_EQ(device.timedOut, 1);
    EXPECT_TRUE(device.TestUnitReady()) << "the next command goes through";
}

TEST_F(PassThrough, RefusedCommandsLeaveThePreviousResult) {
    drive().SetDisc(sim::Disc::Absent);
    EXPECT_FALSE(device.TestUnitReady());
    ASSERT_TRUE(device.SenseIs(0x02, 0x3A));
    const size_t sent = drive().Transcript().size();

    const uint8_t readCdb[12] = {0x3C, 0x01, 0x01};
    EXPECT_FALSE(device.ExecuteCommand(readCdb, kDirectionIn, kBufferCapacity + 1));
    EXPECT_EQ(device.LastResult().refusal, Refusal::LengthAboveCapacity);
    EXPECT_FALSE(device.ExecuteCommand(readCdb, 3, 0));
    EXPECT_EQ(device.LastResult().refusal, Refusal::InvalidDirection);
    device.CloseDrive();
    EXPECT_FALSE(device.TestUnitReady());
    EXPECT_EQ(device.LastResult().refusal, Refusal::NoDrive);

    EXPECT_EQ(drive().Transcript().size(), sent) << "nothing reached the drive";
    EXPECT_TRUE(device.SenseKeyIs(0x02));
    EXPECT_EQ(device.senseAsc, 0x3A);
    EXPECT_EQ(device.resultCode, 2);
    EXPECT_EQ(device.lastCdb[0], 0x00);
}

TEST_F(PassThrough, NoPerformanceCounterMeansNoTimeout) {
    nt.machine.SetPerformanceCounterAvailable(false);
    AtapiDevice blind(nt.machine, true);
    ASSERT_TRUE(blind.SelectDrive(0));
    blind.SetTimeout(5);
    nt.drives[0]->InjectFault({0x00, 1, sim::Fault::Kind::Slow, {}, 5.5});
    EXPECT_TRUE(blind.TestUnitReady());
    EXPECT_EQ(blind.elapsedSeconds, 0.0);
    EXPECT_EQ(blind.timedOut, 0);
}

class Aspi : public ::testing::Test {
protected:
    explicit Aspi() : device(aspi.machine, true) {
        EXPECT_TRUE(device.SelectDrive(1));
        drive().ClearTranscript();
    }
    sim::SimDrive& drive() { return *aspi.drives[1]; }
    AspiMachine aspi{2};
    AtapiDevice device;
};

TEST_F(Aspi, FillsTheRequestBlockWithAnEvent) {
    ASSERT_TRUE(device.Inquiry(0, 0, 0, 96, 0));
    const SrbExecScsiCmd srb = aspi.machine.LastExecSrb();
    EXPECT_EQ(srb.SRB_Cmd, kScExecScsiCmd);
    EXPECT_EQ(srb.SRB_HaId, 0);
    EXPECT_EQ(srb.SRB_Target, 1);
    EXPECT_EQ(srb.SRB_Lun, 0);
    EXPECT_EQ(srb.SRB_Flags, kSrbDirIn | kSrbEventNotify);
    EXPECT_EQ(srb.SRB_BufLen, 96u);
    EXPECT_EQ(srb.SRB_BufPointer, Low32(device.readBuffer));
    EXPECT_EQ(srb.SRB_SenseLen, 14);
    EXPECT_EQ(srb.SRB_CDBLen, 12);
    EXPECT_NE(srb.SRB_PostProc, 0u);
    EXPECT_EQ(srb.CDBByte[0], 0x12);
    EXPECT_EQ(srb.CDBByte[4], 0x60);
    EXPECT_EQ(device.transferred, 96u);

    device.StopDisc();
    EXPECT_EQ(aspi.machine.LastExecSrb().SRB_Flags, kSrbEventNotify);
    EXPECT_EQ(aspi.machine.LastExecSrb().SRB_BufPointer, 0u);
}

TEST_F(Aspi, DeviceErrorGivesResultTwoWithTheSense) {
    drive().InjectFault({0x00, 1, sim::Fault::Kind::Sense, {0x46, 0x29, 0x00}});
    EXPECT_FALSE(device.TestUnitReady());
    EXPECT_EQ(device.resultCode, 2);
    EXPECT_TRUE(device.SenseIs(0x06, 0x29));
    EXPECT_EQ(device.transferred, 0u);
}

TEST_F(Aspi, TimeoutBoundaryAndAbortOfALateRequest) {
    device.SetTimeout(5);
    drive().SetCommandSeconds(0x00, 5.0);
    EXPECT_TRUE(device.TestUnitReady());
    EXPECT_EQ(device.timedOut, 0);

    drive().SetCommandSeconds(0x00, 5.5);
    EXPECT_FALSE(device.TestUnitReady());
    EXPECT_EQ(device.timedOut, 1);
    EXPECT_EQ(device.resultCode, 0);
    EXPECT_EQ(aspi.machine.AbortsReceived(), 1u);
    EXPECT_EQ(aspi.machine.PendingRequests(), 0u) << "retired before the block is reused";
    EXPECT_EQ(drive().Transcript().back().outcome, sim::Outcome::Aborted);

    drive().SetCommandSeconds(0x00, 0.0);
    EXPECT_TRUE(device.TestUnitReady());
}

TEST_F(Aspi, WithoutAnEventPollsUntilDoneWithinTheTimeout) {
    aspi.machine.SetEventCreationFails(true);
    drive().SetCommandSeconds(0x00, 0.01);
    EXPECT_TRUE(device.TestUnitReady());
    EXPECT_EQ(aspi.machine.LastExecSrb().SRB_Flags, 0);
    EXPECT_EQ(aspi.machine.LastExecSrb().SRB_PostProc, 0u);
    EXPECT_GE(device.elapsedSeconds, 0.01);

    device.SetTimeout(1);
    drive().InjectFault({0x00, 1, sim::Fault::Kind::Hang});
    const double before = aspi.machine.NowSeconds();
    EXPECT_FALSE(device.TestUnitReady()) << "polling is bounded";
    EXPECT_EQ(device.timedOut, 1);
    EXPECT_LT(aspi.machine.NowSeconds() - before, 1.1);
    EXPECT_TRUE(device.TestUnitReady());
}

TEST_F(Aspi, RequestThatCannotBeRetiredDisablesTheObject) {
    aspi.machine.Aspi().requestsStayPending = true;
    aspi.machine.Aspi().abortIgnored = true;
    device.SetTimeout(2);
    EXPECT_FALSE(device.TestUnitReady());
    EXPECT_EQ(aspi.machine.AbortsReceived(), 1u);
    const size_t sent = drive().Transcript().size();

    EXPECT_FALSE(device.TestUnitReady());
    EXPECT_EQ(device.LastResult().refusal, Refusal::RequestAbandoned);
    device.CloseDrive();
    EXPECT_TRUE(device.SelectDrive(0));
    EXPECT_FALSE(device.Inquiry(0, 0, 0, 96, 0));
    EXPECT_EQ(drive().Transcript().size(), sent);
}

TEST(AspiAbandoned, DestructionLeavesTheManagersMemoryAlone) {
    AspiMachine aspi(1);
    {
        AtapiDevice device(aspi.machine, true);
        aspi.machine.Aspi().requestsStayPending = true;
        aspi.machine.Aspi().abortIgnored = true;
        device.SetTimeout(1);
        ASSERT_TRUE(device.SelectDrive(0));
        device.TestUnitReady();
        ASSERT_EQ(device.LastResult().refusal, Refusal::None);
        EXPECT_FALSE(device.TestUnitReady());
        EXPECT_EQ(device.LastResult().refusal, Refusal::RequestAbandoned);
    }
    EXPECT_EQ(aspi.machine.LiveHeapBlocks(), 2u) << "the request may still write into them";
    EXPECT_EQ(aspi.machine.LoadedLibraries(), 1);
}

// Hears every command; keeps what the device said of the last one.
struct Heard final : CommandObserver {
    void CommandEnded(const AtapiDevice& device, std::span<const uint8_t, 12> cdb, uint8_t,
                      uint32_t, const CommandResult& result) override {
        ++calls;
        sent += result.outcome != CommandOutcome::NotSent ? 1 : 0;
        opcode = cdb[0];
        last = result;
        sameAsDevice = sameAsDevice && device.LastResult().outcome == result.outcome;
    }
    int calls = 0;
    std::size_t sent = 0;
    uint8_t opcode = 0xFF;
    CommandResult last{};
    bool sameAsDevice = true;
};

// Each kind of answer gets the same category on both transports, and the observer hears each
// command once, refused ones included.
TEST(CommandOutcomes, EachKindOfAnswerOnEitherTransport) {
    using O = CommandOutcome;
    using K = sim::Fault::Kind;
    enum class Also : uint8_t { None, Descriptor, Refusal }; // sense format; the system's refusal
    struct Case {
        const char* what;
        sim::Fault fault; // on the TEST UNIT READY; a slow one of 0 s answers normally
        Also also;
        O outcome;
        uint8_t status;
        sim::Sense sense;
        uint8_t resultCode;
    };
    const sim::Sense reset{0x06, 0x29, 0x00};
    const Case cases[] = {
        {"good", {0, 1, K::Slow}, Also::None, O::Good, 0, {}, 1},
        {"fixed sense", {0, 1, K::Sense, reset}, Also::None, O::CheckCondition, 2, reset, 2},
        {"descriptor", {0, 1, K::Sense, reset}, Also::Descriptor, O::CheckCondition, 2, reset, 2},
        {"no sense", {0, 1, K::StatusOnly}, Also::None, O::CheckCondition, 2, {}, 0},
        {"busy", {0, 1, K::Status, {}, 0, 0x08}, Also::None, O::OtherStatus, 0x08, {}, 0},
        {"conflict", {0, 1, K::Status, {}, 0, 0x18}, Also::None, O::OtherStatus, 0x18, {}, 0},
        {"lost below the drive", {0, 1, K::Transport}, Also::None, O::NoAnswer, 0, {}, 0},
        {"refused by the system", {0, 1, K::Slow}, Also::Refusal, O::OsRefused, 0, {}, 0},
        {"never answered", {0, 1, K::Hang}, Also::None, O::TimedOut, 0, {}, 0},
    };
    for (const bool aspi : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (aspi ? " (ASPI)" : " (pass-through)"));
            Heard heard;
            NtMachine nt(1);
            AspiMachine old(1);
            sim::SimMachine& machine = aspi ? old.machine : nt.machine;
            sim::SimDrive& drive = aspi ? *old.drives[0] : *nt.drives[0];
            AtapiDevice device(machine, true, 0, &heard);
            ASSERT_TRUE(device.SelectDrive(0));
            EXPECT_EQ(heard.sent, drive.TranscriptSize()) << "the scan's commands, each once";
            device.SetTimeout(2);
            drive.InjectFault(c.fault);
            drive.SetDescriptorSense(c.also == Also::Descriptor);
            if (c.also == Also::Refusal) {
                machine.SetPassThroughRefusal(kErrorAccessDenied);
                machine.Aspi().execRefusal = kSsInvalidSrb;
            }

            heard.calls = 0;
            EXPECT_EQ(device.TestUnitReady(), c.outcome == O::Good);
            EXPECT_EQ(heard.calls, 1);
            EXPECT_TRUE(heard.sameAsDevice);
            const CommandResult& result = device.LastResult();
            EXPECT_EQ(result.outcome, c.outcome);
            EXPECT_EQ(result.answered, c.status != 0 || c.outcome == O::Good);
            EXPECT_EQ(result.status, c.status);
            EXPECT_EQ(sim::Sense({result.senseKey, result.senseAsc, result.senseAscq}), c.sense);
            EXPECT_EQ(device.resultCode, c.resultCode);
            EXPECT_EQ(device.timedOut, c.outcome == O::TimedOut ? 1 : 0);
            if (c.outcome == O::OsRefused) {
                EXPECT_EQ(result.osError, aspi ? uint32_t{kSsInvalidSrb} : kErrorAccessDenied);
            }

            // Refused before the transport: heard all the same, with the reason.
            heard.calls = 0;
            EXPECT_FALSE(device.DownloadPiece(0, kBufferCapacity));
            EXPECT_EQ(heard.calls, 1);
            EXPECT_EQ(heard.opcode, 0xF2);
            EXPECT_EQ(heard.last.outcome, O::NotSent);
            EXPECT_EQ(heard.last.refusal, Refusal::LengthAboveCapacity);
            EXPECT_EQ(device.resultCode, c.resultCode) << "a refusal leaves the fields be";
        }
    }
}

TEST(AspiRefusal, NoEntryPointsRefusesWithoutCalling) {
    sim::SimMachine machine(sim::OsFamily::Windows95);
    AtapiDevice device(machine, false);
    // A list copied from elsewhere still cannot be reached without the manager.
    NtMachine nt;
    nt.machine.Aspi().installed = true;
    Heard heard; // the master's observer goes with its list
    AtapiDevice master(nt.machine, true, 0, &heard);
    master.CopyStateTo(&device);
    ASSERT_TRUE(device.SelectDrive(0));
    heard.calls = 0;
    EXPECT_FALSE(device.TestUnitReady());
    EXPECT_EQ(device.LastResult().refusal, Refusal::NoEntryPoints);
    EXPECT_EQ(heard.calls, 1);
    EXPECT_EQ(machine.BadEntryCalls(), 0u);
}

} // namespace
} // namespace zelfin::testing
