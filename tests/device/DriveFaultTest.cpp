// Drive behaviours in the words of a scenario `fault` line: the words themselves, and each
// behaviour as the drive shows it.
#include "sim/DriveFault.h"
#include "DeviceTestSupport.h"
#include "sim/SimFlash.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace zelfin::testing {
namespace {

TEST(DriveFault, WordsReadBackAsWritten) {
    for (const char* line : {"fault D gone-after-commit",
                             "fault D not-ready-after-commit 30",
                             "fault E silent-after-commit 2.5",
                             "fault D background-commit 45",
                             "fault D attention 29/00",
                             "fault D attention 29/01",
                             "fault D attention 28/00",
                             "fault D attention 3F/01",
                             "fault D descriptor-sense",
                             "fault D drop-write 7",
                             "fault D short-read 255",
                             "fault D residual 3",
                             "fault D readback",
                             "fault D readback 12",
                             "fault D readback 12 2",
                             "fault D write-fails 9",
                             "fault D read-fails 3 1",
                             "fault D commit",
                             "fault D power-loss",
                             "fault D power-loss 128",
                             "fault D sense 3B 42 04/44/00",
                             "fault D no-sense 00 1",
                             "fault D transport 12 every",
                             "fault D hang 3C 7",
                             "fault D vanish F2 3",
                             "fault D slow 00 1 5.5",
                             "fault D zero-data 12 2"}) {
        EXPECT_EQ(sim::DriveFault::Parse(std::string_view(line)).Format(), line);
    }
    EXPECT_EQ(
        sim::DriveFault::Parse(std::string_view("  fault D sense 3b 1 04/44/00 # x")).Format(),
        "fault D sense 3B 1 04/44/00");
}

TEST(DriveFault, BadWordsAreRefusedNamingTheLine) {
    for (const char* line : {"fault",
                             "fault D",
                             "fault DD commit",
                             "fault 4 commit",
                             "fault D frob",
                             "fault D commit now",
                             "fault D not-ready-after-commit",
                             "fault D silent-after-commit -1",
                             "fault D background-commit nan",
                             "fault D background-commit 4000",
                             "fault D attention 29/02",
                             "fault D attention 2900",
                             "fault D drop-write",
                             "fault D drop-write 256",
                             "fault D short-read x",
                             "fault D readback 1 0",
                             "fault D power-loss 3 4",
                             "fault D sense 3B 1",
                             "fault D sense 3B 0 04/44/00",
                             "fault D sense 3B 1 04-44-00",
                             "fault D sense 3G 1 04/44/00",
                             "fault D hang 3B",
                             "fault D slow 00 1",
                             "fault D vanish 123 1",
                             "flaw D commit"}) {
        try {
            sim::DriveFault::Parse(std::string_view(line));
            ADD_FAILURE() << "accepted: " << line;
        } catch (const std::invalid_argument& error) {
            EXPECT_NE(std::string(error.what()).find(line), std::string::npos) << error.what();
        }
    }
}

TEST(DriveFault, ApplyingNeedsWhatTheFaultActsOn) {
    sim::SimDrive bare;
    EXPECT_THROW(sim::DriveFault::Parse(std::string_view("fault D readback")).Apply(bare),
                 std::invalid_argument);
    EXPECT_NO_THROW(sim::DriveFault::Parse(std::string_view("fault D hang 00 3")).Apply(bare));
    sim::Request tur;
    bare.Execute(tur);
    bare.Execute(tur);
    EXPECT_THROW(sim::DriveFault::Parse(std::string_view("fault D transport 00 2")).Apply(bare),
                 std::invalid_argument)
        << "counted from the drive's start: the second has been";
    EXPECT_TRUE(bare.Execute(tur).neverCompletes) << "armed before, at the drive's third";
}

// A drive fitted with an 8 Mbit flash that runs its main firmware, driven command by command on
// a clock the test sets.
constexpr sim::FlashId kChip{0xBF, 0xD8, 0x00, 0x05};

std::vector<uint8_t> Image() {
    std::vector<uint8_t> image(sim::kSimFlashSize, 0xFF);
    for (const std::size_t record : {sim::kSimBootRecord, sim::kSimMainRecord}) {
        std::memcpy(&image[record], sim::kSimRecordHeader.data(), sim::kSimRecordHeader.size());
        std::memcpy(&image[record + sim::kSimRecordRevision], "1A05", 4);
    }
    image[sim::kSimMainRecord + 4] = sim::kSimMainRecordAdditionalLength;
    return image;
}

struct Rig {
    sim::SimDrive drive;
    sim::SimFlash& flash;
    double now = 100.0;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(4096);

    explicit Rig(const std::vector<std::string>& faults = {})
        : flash(sim::SimFlash::Install(drive, kChip, Image())) {
        drive.SetClock([this] { return now; });
        for (const std::string& line : faults) {
            sim::DriveFault::Parse(std::string_view(line)).Apply(drive);
        }
    }

    sim::Reply Send(std::array<uint8_t, 12> cdb, uint8_t direction = 2, uint32_t length = 0) {
        sim::Request request;
        request.cdb = cdb;
        request.direction = direction;
        request.length = length;
        request.data = length != 0 ? buffer.data() : nullptr;
        return drive.Execute(request);
    }
    sim::Reply Inquiry() { return Send({0x12, 0, 0, 0, 96, 0, 0, 0, 0, 0, 0, 0}, 1, 96); }
    sim::Reply TestUnitReady() { return Send({}); }
    sim::Reply Write(uint32_t piece, uint8_t fill, uint8_t code = 0x00, uint32_t length = 4096) {
        std::fill(buffer.begin(), buffer.end(), fill);
        const uint32_t offset = piece * 4096;
        return Send({0x3B, 0x05, 0x01, uint8_t(offset >> 16), uint8_t(offset >> 8), 0,
                     uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), code, 0, 0},
                    length != 0 ? 0 : 2, length);
    }
    sim::Reply Read(uint32_t piece, uint8_t fill) {
        std::fill(buffer.begin(), buffer.end(), fill);
        const uint32_t offset = piece * 4096;
        return Send(
            {0x3C, 0x01, 0x01, uint8_t(offset >> 16), uint8_t(offset >> 8), 0, 0, 0x10, 0, 0, 0, 0},
            1, 4096);
    }
    // The loader this chip takes: a 6-byte header and 1234 bytes.
    void Loader() {
        buffer.assign(6 + 1234, 0x00);
        std::copy(kChip.begin(), kChip.end(), buffer.begin());
        buffer[4] = 1234 >> 8;
        buffer[5] = 1234 & 0xFF;
        EXPECT_EQ(Send({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0x04, 0xD8, 0x7F, 0, 0}, 0, 1240).outcome,
                  sim::Outcome::Good);
        buffer.resize(4096);
    }
    // Piece 20 staged and committed.
    sim::Reply Commit() {
        Loader();
        EXPECT_EQ(Write(20, 0x5A).outcome, sim::Outcome::Good);
        return Write(0, 0, 0x80, 0);
    }
};

std::string Said(const sim::Reply& reply) {
    switch (reply.outcome) {
    case sim::Outcome::Good:
        return "good";
    case sim::Outcome::CheckCondition: {
        char text[9];
        std::snprintf(text, sizeof(text), "%02X/%02X/%02X", reply.sense.key, reply.sense.asc,
                      reply.sense.ascq);
        return text;
    }
    default:
        return "none";
    }
}

TEST(DriveFault, TheDriveComesBackFromACommitAsTold) {
    struct Probe {
        double after; // seconds after the commit was sent
        const char* inquiry;
    };
    struct Case {
        std::vector<std::string> faults;
        std::vector<Probe> probes;
        const char* attention; // what TEST UNIT READY then reports
    };
    const Case cases[] = {
        {{}, {{0.1, "good"}}, "06/29/00"},
        {{"fault D gone-after-commit"}, {{0.1, "none"}, {1e3, "none"}}, "none"},
        {{"fault D not-ready-after-commit 30"},
         {{0.1, "02/04/01"}, {29.9, "02/04/01"}, {30.2, "good"}},
         "06/29/00"},
        {{"fault D silent-after-commit 30"},
         {{0.1, "none"}, {29.9, "none"}, {30.2, "good"}},
         "06/29/00"},
        {{"fault D background-commit 30"},
         {{0.0, "02/04/07"}, {29.9, "02/04/07"}, {30.0, "good"}},
         "06/29/00"},
        {{"fault D background-commit 30", "fault D not-ready-after-commit 10"},
         {{29.9, "02/04/07"}, {39.9, "02/04/01"}, {40.0, "good"}},
         "06/29/00"},
        {{"fault D background-commit 30", "fault D gone-after-commit"},
         {{29.9, "02/04/07"}, {30.0, "none"}},
         "none"},
        {{"fault D attention 3F/01"}, {{0.1, "good"}}, "06/3F/01"},
    };
    for (const Case& c : cases) {
        const std::string name = c.faults.empty() ? "no fault" : c.faults.front();
        Rig rig(c.faults);
        const double sent = rig.now;
        const sim::Reply commit = rig.Commit();
        EXPECT_EQ(Said(commit), "good") << name;
        const bool background = name.find("background") != std::string::npos;
        EXPECT_EQ(commit.seconds < 0.01, background) << name << ": answered at once";
        for (const Probe& p : c.probes) {
            rig.now = sent + p.after;
            EXPECT_EQ(Said(rig.Inquiry()), p.inquiry) << name << " at +" << p.after;
        }
        EXPECT_EQ(Said(rig.TestUnitReady()), c.attention) << name;
        EXPECT_EQ(rig.flash.Commits(), 1u) << name;
    }
}

TEST(DriveFault, DroppedWritesAndShortReadsAnswerGood) {
    Rig dropped({"fault D drop-write 20"});
    EXPECT_EQ(dropped.Write(20, 0x5A).transferred, 4096u);
    EXPECT_EQ(dropped.Read(20, 0x00).transferred, 4096u);
    EXPECT_EQ(dropped.buffer[0], 0xFF) << "nothing was kept";
    EXPECT_EQ(dropped.Write(21, 0x5A).transferred, 4096u);
    EXPECT_EQ(dropped.Read(21, 0x00).transferred, 4096u);
    EXPECT_EQ(dropped.buffer[0], 0x5A) << "only that piece";

    Rig shortRead({"fault D short-read 20"});
    ASSERT_EQ(Said(shortRead.Write(20, 0x5A)), "good");
    const sim::Reply read = shortRead.Read(20, 0x11);
    EXPECT_EQ(Said(read), "good");
    EXPECT_EQ(read.transferred, 4096u) << "no residual";
    EXPECT_EQ(shortRead.buffer[4095], 0x11) << "the host buffer is untouched";
    EXPECT_FALSE(shortRead.flash.PieceReadBack(20));
}

TEST(DriveFault, TheFlashKeepsItsOwnAccountOfTheCommit) {
    Rig unread;
    EXPECT_EQ(Said(unread.Commit()), "good");
    EXPECT_EQ(unread.flash.LastCommit().code, 0x80);
    EXPECT_EQ(unread.flash.LastCommit().sectors, 1u);
    EXPECT_FALSE(unread.flash.LastCommit().EveryPieceReadBack());

    Rig readBack({"fault D readback 20"});
    readBack.Commit(); // stages piece 20 and commits it; restarts
    ASSERT_EQ(Said(readBack.TestUnitReady()), "06/29/00");
    readBack.Commit();
    EXPECT_FALSE(readBack.flash.LastCommit().EveryPieceReadBack()) << "staged again, not read";
    ASSERT_EQ(Said(readBack.TestUnitReady()), "06/29/00");
    // Read back after the write this time: returned whole, though one byte differs.
    readBack.Loader();
    readBack.Write(20, 0x5A);
    readBack.Read(20, 0x00);
    readBack.Write(0, 0, 0xA0, 0);
    const sim::SimCommitRecord& last = readBack.flash.LastCommit();
    EXPECT_TRUE(last.finished);
    EXPECT_EQ(last.code, 0xA0);
    EXPECT_TRUE(last.EveryPieceReadBack());
    EXPECT_EQ(readBack.flash.Delivered()[20 * 4096 + 16], 0x5A);
    EXPECT_EQ(readBack.flash.Delivered()[20 * 4096 + 17], 0xA5) << "as delivered, not as kept";
    EXPECT_EQ(readBack.flash.Contents()[20 * 4096 + 17], 0x5A);
}

// Sense in descriptor format, as both transports hand it to the host.
TEST(DriveFault, DescriptorSenseReachesTheHostAsWritten) {
    const uint8_t expected[8] = {0x72, 0x06, 0x29, 0x00, 0, 0, 0, 0};

    NtMachine nt(1);
    sim::DriveFault::Parse(std::string_view("fault D descriptor-sense")).Apply(*nt.drives[0]);
    nt.drives[0]->PowerOnReset();
    const OpenResult open = nt.machine.CreateFile("\\\\.\\D:");
    PassThroughBlock block{};
    block.sptd.Length = sizeof(ScsiPassThroughDirect);
    block.sptd.CdbLength = 12;
    block.sptd.DataIn = kScsiIoctlDataUnspecified;
    block.sptd.SenseInfoOffset = kPassThroughSenseOffset;
    block.sptd.SenseInfoLength = sizeof(block.sense);
    block.sptd.TimeOutValue = 10;
    std::memset(block.sense, 0xEE, sizeof(block.sense));
    uint32_t error = kErrorSuccess;
    ASSERT_TRUE(nt.machine.ScsiPassThroughDirect(open.handle, block, nullptr, error));
    EXPECT_EQ(block.sptd.ScsiStatus, kScsiStatusCheckCondition);
    EXPECT_EQ(0, std::memcmp(block.sense, expected, sizeof(expected)));

    AspiMachine aspi(1);
    sim::DriveFault::Parse(std::string_view("fault D descriptor-sense")).Apply(*aspi.drives[0]);
    aspi.drives[0]->PowerOnReset();
    const ProcAddress send =
        aspi.machine.GetProcAddress(aspi.machine.LoadLibrary("WNASPI32.DLL"), "SendASPI32Command");
    SrbExecScsiCmd srb{};
    srb.SRB_Cmd = kScExecScsiCmd;
    srb.SRB_SenseLen = kSenseLen;
    srb.SRB_CDBLen = 12;
    aspi.machine.CallSendASPI32Command(send, &srb, {});
    EXPECT_EQ(srb.SRB_Status, kSsErr);
    EXPECT_EQ(srb.SRB_TargStat, kScsiStatusCheckCondition);
    EXPECT_EQ(0, std::memcmp(srb.SenseArea, expected, sizeof(expected)));
}

} // namespace
} // namespace zelfin::testing
