#include "flash/Programming.h"
#include "FlashRig.h"
#include "package/Package.h"
#include "sim/DriveFault.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace zelfin::flashtest {
namespace {

constexpr Cdb kStopDisc{0x1B};
constexpr uint32_t kSst2MbitLoaderSent = 1280;

uint8_t RunJob(FlashRig& rig, const uint8_t* image, int32_t length, bool bootCode = true) {
    RunFlashJob(FlashJob{rig.device.get(), image, length, bootCode});
    return rig.device->jobFailed;
}
uint8_t RunJob(FlashRig& rig, const std::vector<uint8_t>& image, bool bootCode = true) {
    return RunJob(rig, image.data(), static_cast<int32_t>(image.size()), bootCode);
}

void AppendPieces(std::vector<Cdb>& out, uint32_t pieces) {
    for (uint32_t n = 0; n < pieces; ++n) {
        out.push_back(WriteBufferCdb(n * 4096, 4096, 0x00));
        out.push_back(ReadBufferCdb(n * 4096));
    }
}

std::vector<Cdb> Preparation() {
    return {cdb::kTestUnitReady, cdb::kTestUnitReady, kStopDisc, cdb::kReadFlashId,
            WriteBufferCdb(0, kSst2MbitLoaderSent, 0x7F)};
}

bool SameBytes(std::span<const uint8_t> flash, const std::vector<uint8_t>& image, std::size_t from,
               std::size_t to) {
    return std::equal(flash.begin() + from, flash.begin() + to, image.begin() + from);
}

TEST(WriteBufferJob, ShippedBankProgramsTheWholeFlashAndTheDriveComesBackNew) {
    const auto block = testpackage::makeShippedBlock();
    const std::optional<Bank> bank = Package(*block).cutBank(1);
    ASSERT_TRUE(bank && bank->length == 1048576);
    const std::vector<uint8_t> image(bank->data, bank->data + bank->length);
    FlashRig rig;
    rig.drive.SetBecomingReady(2);

    ASSERT_EQ(0, RunJob(rig, bank->data, static_cast<int32_t>(bank->length)));

    std::vector<Cdb> expected = Preparation();
    expected.insert(expected.begin(), 2, cdb::kTestUnitReady); // two becoming-ready answers
    AppendPieces(expected, 256);
    expected.push_back(WriteBufferCdb(0, 0, 0xA0));
    EXPECT_EQ(expected, rig.Sent());
    const sim::TranscriptRecord commit = rig.drive.Transcript().back();
    EXPECT_EQ(2, commit.direction);
    EXPECT_EQ(0u, commit.length);
    EXPECT_TRUE(SameBytes(rig.flash.Contents(), image, 0, image.size()));
    EXPECT_EQ(testpackage::kNewRevision, rig.ReportedRevision());
}

TEST(WriteBufferJob, WithoutBootCodeTheCommitKeepsTheDrivesBootArea) {
    FlashRig rig;
    ASSERT_EQ(0, RunJob(rig, NewImage(), false));
    EXPECT_EQ(WriteBufferCdb(0, 0, 0x80), rig.Sent().back());
    EXPECT_TRUE(SameBytes(rig.flash.Contents(), OldImage(), 0, sim::kSimBootAreaSize));
    EXPECT_TRUE(SameBytes(rig.flash.Contents(), NewImage(), sim::kSimBootAreaSize, 1048576));
    EXPECT_EQ(testpackage::kNewRevision, rig.ReportedRevision());
}

TEST(WriteBufferJob, ImagesAroundTheDownloadLengthGoTheWriteBufferWayWithWholePiecesOnly) {
    for (const int32_t length : {131071, 131073}) {
        FlashRig rig;
        ASSERT_EQ(0, RunJob(rig, NewImage().data(), length)) << length;
        std::vector<Cdb> expected = Preparation();
        AppendPieces(expected, static_cast<uint32_t>(length) / 4096); // 31, then 32
        expected.push_back(WriteBufferCdb(0, 0, 0xA0));
        EXPECT_EQ(expected, rig.Sent()) << length;
        const std::size_t written = static_cast<std::size_t>(length) / 4096 * 4096;
        EXPECT_TRUE(SameBytes(rig.flash.Contents(), NewImage(), 0, written));
        EXPECT_TRUE(SameBytes(rig.flash.Contents(), OldImage(), written, 1048576));
    }
}

TEST(WriteBufferJob, AMismatchRestartsAtPieceZeroAndIsKeptForDiagnosis) {
    FlashRig rig;
    rig.flash.Faults().readBackDiffers = {{100, 1, 17}};
    ASSERT_EQ(0, RunJob(rig, NewImage()));

    std::vector<Cdb> expected = Preparation();
    AppendPieces(expected, 101);
    AppendPieces(expected, 256);
    expected.push_back(WriteBufferCdb(0, 0, 0xA0));
    EXPECT_EQ(expected, rig.Sent());
    const unsigned written = NewImage()[100 * 4096 + 17];
    char text[64];
    std::snprintf(text, sizeof text, "R = %.2x , W = %.2x , Pos = 17(11) , Piece = 100",
                  ~written & 0xFFu, written);
    EXPECT_STREQ(text, rig.device->mismatchDiagnostic);
}

TEST(WriteBufferJob, TheDiagnosisNamesTheFirstDifferingByteOfThePiece) {
    struct Case {
        std::vector<uint32_t> differing;
        uint32_t first;
    };
    const Case cases[] = {{{0}, 0}, {{4095}, 4095}, {{3000, 17, 4095}, 17}};
    for (const Case& c : cases) {
        FlashRig rig;
        for (const uint32_t position : c.differing) {
            rig.flash.Faults().readBackDiffers.push_back({100, 1, position});
        }
        ASSERT_EQ(0, RunJob(rig, NewImage())) << c.first;
        const unsigned written = NewImage()[100 * 4096 + c.first];
        char text[64];
        std::snprintf(text, sizeof text, "R = %.2x , W = %.2x , Pos = %u(%x) , Piece = 100",
                      ~written & 0xFFu, written, c.first, c.first);
        EXPECT_STREQ(text, rig.device->mismatchDiagnostic);
    }
}

TEST(WriteBufferJob, ThreeFailedPassesSendNoCommitAndLeaveTheFlashAlone) {
    struct Case {
        const char* name;
        void (*arrange)(FlashRig&);
    };
    const Case cases[] = {
        {"mismatch",
         [](FlashRig& r) {
             r.flash.Faults().readBackDiffers = {{100, 1, 0}, {7, 2, 0}, {0, 3, 0}};
         }},
        {"read buffer",
         [](FlashRig& r) {
             r.flash.Faults().readBufferFails = {{3, 1}, {3, 2}, {3, 3}};
         }},
        {"write buffer",
         [](FlashRig& r) {
             r.flash.Faults().writeBufferFails = {{255, 1}, {9, 2}, {1, 3}};
         }},
        {"drive vanishes",
         [](FlashRig& r) {
             r.drive.InjectFault({0x3C, 50, sim::Fault::Kind::Vanish});
         }},
    };
    for (const Case& c : cases) {
        FlashRig rig;
        c.arrange(rig);
        EXPECT_EQ(kJobFailed, RunJob(rig, NewImage())) << c.name;
        EXPECT_FALSE(rig.Committed()) << c.name;
        EXPECT_TRUE(SameBytes(rig.flash.Contents(), OldImage(), 0, 1048576)) << c.name;
    }
}

// Padding pieces (all 00, all FF) are where a buffer left as it was could pass for the piece:
// a piece the drive did not keep, did not send back, or says it did not send whole, is never
// committed.
TEST(WriteBufferJob, APieceTheDriveDidNotKeepOrSendIsNeverCommitted) {
    std::vector<uint8_t> image = NewImage();
    std::fill_n(image.begin() + 20 * 4096, 4096, uint8_t{0x00});
    std::fill_n(image.begin() + 21 * 4096, 4096, uint8_t{0xFF});
    const char* faults[] = {"fault E short-read 20", "fault E short-read 21",
                            "fault E drop-write 20", "fault E drop-write 21",
                            "fault E residual 20"};
    for (const char* line : faults) {
        FlashRig rig;
        sim::DriveFault::Parse(std::string_view(line)).Apply(rig.drive);
        EXPECT_EQ(kJobFailed, RunJob(rig, image)) << line;
        EXPECT_FALSE(rig.Committed()) << line;
        EXPECT_TRUE(SameBytes(rig.flash.Contents(), OldImage(), 0, 1048576)) << line;
    }
}

TEST(WriteBufferJob, AFailingReadBufferCountsAsAMismatch) {
    FlashRig rig;
    rig.flash.Faults().readBufferFails = {{5, 1}};
    ASSERT_EQ(0, RunJob(rig, NewImage()));
    EXPECT_EQ(6u + 256u, rig.Count(0x3C));
    EXPECT_STREQ("", rig.device->mismatchDiagnostic);
}

TEST(WriteBufferJob, AVerifiedImageWhoseCommitFailsIsAFailedJob) {
    FlashRig failing;
    failing.flash.Faults().commitFails = true;
    EXPECT_EQ(kJobFailed, RunJob(failing, NewImage()));
    EXPECT_TRUE(failing.Committed());
    EXPECT_TRUE(SameBytes(failing.flash.Contents(), OldImage(), 0, 1048576));

    // No loader for an unknown chip: the pieces and the commit go out, and the drive refuses.
    FlashRig unknown(sim::FlashId{0xBF, 0xD6, 0x00, 0x08});
    EXPECT_EQ(kJobFailed, RunJob(unknown, NewImage()));
    EXPECT_EQ(256u, unknown.Count(0x3C));
    EXPECT_TRUE(unknown.Committed());
    EXPECT_TRUE(unknown.device->SenseIs(0x05, 0x2C));
}

TEST(WriteBufferJob, PowerLostDuringTheCommitLeavesTheDriveOnItsBootCode) {
    FlashRig rig;
    rig.flash.Faults().powerLossAtSector = 128;
    EXPECT_EQ(kJobFailed, RunJob(rig, NewImage()));
    EXPECT_EQ(sim::SimFirmware::BootCode, rig.flash.Running());
    EXPECT_EQ(testpackage::kBootRevision, rig.ReportedRevision());

    // A later short commit that leaves the erased sector alone does not bring the main firmware
    // back; a whole one does.
    EXPECT_EQ(0, RunJob(rig, NewImage().data(), 131073));
    EXPECT_EQ(sim::SimFirmware::BootCode, rig.flash.Running());
    EXPECT_EQ(0, RunJob(rig, NewImage()));
    EXPECT_EQ(sim::SimFirmware::Main, rig.flash.Running());
    EXPECT_EQ(testpackage::kNewRevision, rig.ReportedRevision());
}

TEST(FlashJob, AJobWithoutAWholePieceOrWithoutABankSendsNothing) {
    FlashRig rig;
    EXPECT_EQ(kJobFailed, RunJob(rig, NewImage().data(), 4095));
    EXPECT_EQ(kJobFailed, RunJob(rig, nullptr, 1048576));
    EXPECT_EQ(kJobFailed, RunJob(rig, NewImage().data(), -1));
    EXPECT_TRUE(rig.Sent().empty());
}

TEST(DownloadJob, AnImageOf128KiBGoesTheDownloadWay) {
    FlashRig rig;
    ASSERT_EQ(0, RunJob(rig, NewImage().data(), 131072));

    std::vector<Cdb> expected{cdb::kDownloadBegin, cdb::kDownloadBegin};
    for (uint32_t n = 0; n < 32; ++n) {
        Cdb piece = cdb::kDownloadPiece;
        cdb::PutBigEndian(piece, 2, 4, n * 4096);
        cdb::PutBigEndian(piece, 8, 2, 4098);
        expected.push_back(piece);
    }
    expected.push_back({0xF2, 0x04, 0, 0, 0, 0, 0x00, 0x02, 0x00, 0x00, 0, 0x01});
    EXPECT_EQ(expected, rig.Sent());
    EXPECT_EQ(4098u, rig.drive.Transcript()[2].length);
    EXPECT_TRUE(SameBytes(rig.flash.Contents(), NewImage(), 0, 131072));
    EXPECT_TRUE(SameBytes(rig.flash.Contents(), OldImage(), 131072, 1048576));
}

TEST(DownloadJob, AFailedPieceRestartsAtPieceZeroAndAFailedEndFailsTheJob) {
    const sim::Fault refused{0xF2, 5, sim::Fault::Kind::Sense, {0x04, 0x44, 0x00}};
    FlashRig retried;
    retried.drive.InjectFault(refused); // the third piece of the first pass
    ASSERT_EQ(0, RunJob(retried, NewImage().data(), 131072));
    EXPECT_EQ(2u + 3u + 32u + 1u, retried.Count(0xF2));
    Cdb firstPiece = cdb::kDownloadPiece;
    cdb::PutBigEndian(firstPiece, 8, 2, 4098);
    EXPECT_EQ(firstPiece, retried.Sent()[5]);

    FlashRig ending;
    ending.drive.InjectFault({0xF2, 35, sim::Fault::Kind::Sense, {0x04, 0x44, 0x00}});
    EXPECT_EQ(kJobFailed, RunJob(ending, NewImage().data(), 131072));
}

// The step a failed job names is where its last pass stopped; a retried pass is no reason.
TEST(FlashJob, AFailedJobNamesWhereItStopped) {
    struct Case {
        const char* fault;
        int32_t length;
        FlashFailure expected;
    };
    const Case cases[] = {
        {"fault E write-fails 7", 1048576, {FlashStep::WritePiece, 7, 3}},
        {"fault E write-fails 7 1", 1048576, {}},
        {"fault E read-fails 9", 1048576, {FlashStep::ReadPiece, 9, 3}},
        {"fault E residual 20", 1048576, {FlashStep::ShortRead, 20, 3}},
        {"fault E readback 4", 1048576, {FlashStep::Compare, 4, 3}},
        {"fault E commit", 1048576, {FlashStep::Commit, 0, 0}},
        {"fault E sense F2 20 04/44/00", 131072, {}},
        {"fault E sense F2 35 04/44/00", 131072, {FlashStep::DownloadEnd, 0, 0}},
        {"# no fault", 4095, {FlashStep::Image, 0, 0}},
    };
    for (const Case& c : cases) {
        FlashRig rig;
        if (c.fault[0] != '#') {
            sim::DriveFault::Parse(std::string_view(c.fault)).Apply(rig.drive);
        }
        FlashFailure failure{FlashStep::Commit, 99, 99}; // a previous job's
        RunFlashJob(FlashJob{rig.device.get(), NewImage().data(), c.length, true, &failure});
        EXPECT_EQ(failure.step, c.expected.step) << c.fault;
        EXPECT_EQ(failure.piece, c.expected.piece) << c.fault;
        EXPECT_EQ(failure.pass, c.expected.pass) << c.fault;
        EXPECT_EQ(rig.device->jobFailed != 0, c.expected.step != FlashStep::None) << c.fault;
    }
    EXPECT_EQ(describeStep({FlashStep::WritePiece, 7, 3}),
              "piece 7 (offset 0x7000) of pass 3, WRITE BUFFER");
}

TEST(Pause, LastsTheFullTimeAndPollsOnlyWhenMessagesMayBeWaiting) {
    struct Case {
        bool counter;
        bool pump;
        double longest; // seconds the pause may last at most
        uint32_t fewestSleeps;
        uint32_t mostSleeps;
    };
    const Case cases[] = {
        // The worker: one sleep to the end (two if the first came back early).
        {true, false, 3.001, 1, 2},
        {false, false, 3.001, 1, 1},
        // A thread with windows to keep answered polls; a busy loop would pump ~300,000 times.
        {true, true, 3.1, 100, 400},
        {false, true, 3.1, 100, 400},
    };
    for (const Case& c : cases) {
        FlashRig rig;
        rig.machine.SetPerformanceCounterAvailable(c.counter);
        AtapiDevice device(rig.machine, false);
        uint32_t pumped = 0;
        const uint32_t sleepsBefore = rig.machine.SleepCount();
        const double before = rig.machine.NowSeconds();
        Pause(device, 3.0, c.pump ? ProcessMessages([&] { ++pumped; }) : ProcessMessages());
        const double waited = rig.machine.NowSeconds() - before;
        const uint32_t sleeps = rig.machine.SleepCount() - sleepsBefore;
        const std::string name =
            std::string(c.counter ? "counter" : "no counter") + (c.pump ? ", pump" : ", no pump");
        EXPECT_GE(waited, 3.0) << name;
        EXPECT_LT(waited, c.longest) << name;
        EXPECT_GE(sleeps, c.fewestSleeps) << name;
        EXPECT_LE(sleeps, c.mostSleeps) << name;
        EXPECT_EQ(c.pump ? sleeps : 0u, pumped) << name;
    }
}

} // namespace
} // namespace zelfin::flashtest
