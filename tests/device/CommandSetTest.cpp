// The command vocabulary: the bytes every command puts on the wire, as the drive received them.
#include "DeviceTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace zelfin::testing {
namespace {

// Accepts the flash-side commands and keeps the last data it was sent.
class AcceptingFlash : public sim::FlashModel {
public:
    explicit AcceptingFlash(std::vector<uint8_t>* sent) : sent_(sent) {}
    sim::Reply HandleCommand(sim::SimDrive&, const sim::Request& request) override {
        if (request.direction == 0 && request.data != nullptr) {
            sent_->assign(request.data, request.data + request.length);
            return sim::Reply::Good(request.length);
        }
        if (request.direction == 1 && request.data != nullptr) {
            std::memset(request.data, 0xA5, request.length);
            return sim::Reply::Good(request.length);
        }
        return sim::Reply::Good();
    }

private:
    std::vector<uint8_t>* sent_;
};

class CommandSet : public ::testing::Test {
protected:
    CommandSet() : device(nt.machine, true) {
        drive().SetFlashModel(std::make_unique<AcceptingFlash>(&sent));
        drive().SetFlashId(0xDA, 0xC8, 0x00, 0x00);
        EXPECT_TRUE(device.SelectDrive(0));
        drive().ClearTranscript();
    }
    sim::SimDrive& drive() { return *nt.drives[0]; }
    sim::TranscriptRecord Last() { return drive().Transcript().back(); }
    // The CDB bytes, direction and length of the last command.
    std::string LastLine() {
        const std::string line = sim::FormatTranscriptLine(Last());
        return line.substr(0, line.find(" | ", 38));
    }

    NtMachine nt{1};
    AtapiDevice device;
    std::vector<uint8_t> sent;
};

TEST_F(CommandSet, StandardCommandsAsSentInPractice) {
    EXPECT_TRUE(device.Inquiry(0, 0, 0, 96, 0));
    EXPECT_EQ(LastLine(), "12 00 00 00 60 00 00 00 00 00 00 00 | in 96");
    device.IsTrayOpen();
    EXPECT_EQ(LastLine(), "4A 01 00 00 10 00 00 00 08 00 00 00 | in 8");
    device.LoadTray();
    EXPECT_EQ(LastLine(), "1B 00 00 00 03 00 00 00 00 00 00 00 | none 0");
    device.EjectTray();
    EXPECT_EQ(LastLine(), "1B 00 00 00 02 00 00 00 00 00 00 00 | none 0");
    device.StopDisc();
    EXPECT_EQ(LastLine(), "1B 00 00 00 00 00 00 00 00 00 00 00 | none 0");
    device.TestUnitReady();
    EXPECT_EQ(LastLine(), "00 00 00 00 00 00 00 00 00 00 00 00 | none 0");
    EXPECT_TRUE(device.ReadFlashId());
    EXPECT_EQ(LastLine(), "DF 11 00 00 00 00 00 00 00 00 00 00 | in 128");
}

TEST_F(CommandSet, ParametersLandInTheirBytesMostSignificantFirst) {
    device.Inquiry(3, 3, 0x83, 0xFE, 0x55);
    EXPECT_EQ(LastLine(), "12 03 83 00 FE 55 00 00 00 00 00 00 | in 254");
    device.StartStopUnit(3, 0x1F, 3, 3);
    EXPECT_EQ(LastLine(), "1B 01 00 00 F3 00 00 00 00 00 00 00 | none 0");
    device.GetEventStatus(1, 0x5E, 0x1234, 0x77);
    EXPECT_EQ(LastLine(), "4A 01 00 00 5E 00 00 12 34 77 00 00 | in 4660");
    device.ReadBuffer(0x0FF000, 0x1000);
    EXPECT_EQ(LastLine(), "3C 01 01 0F F0 00 00 10 00 00 00 00 | in 4096");
    device.WriteBuffer(0x80000, 318, kWriteCodePiece);
    EXPECT_EQ(LastLine(), "3B 05 01 08 00 00 00 01 3E 00 00 00 | out 318");
    device.WriteBuffer(0, 1280, kWriteCodeLoader);
    EXPECT_EQ(LastLine(), "3B 05 01 00 00 00 00 05 00 7F 00 00 | out 1280");
    device.DownloadBegin();
    EXPECT_EQ(LastLine(), "F2 01 00 00 00 00 00 00 00 00 00 00 | none 0");
    device.DownloadEnd(131072);
    EXPECT_EQ(LastLine(), "F2 04 00 00 00 00 00 02 00 00 00 01 | none 0");
}

TEST_F(CommandSet, CommitHasNoDataPhaseWhateverTheLength) {
    device.WriteBuffer(0, 0, kWriteCodeCommitBootCode);
    EXPECT_EQ(LastLine(), "3B 05 01 00 00 00 00 00 00 A0 00 00 | none 0");
    device.WriteBuffer(0, 4096, kWriteCodeCommit);
    EXPECT_EQ(LastLine(), "3B 05 01 00 00 00 00 10 00 80 00 00 | none 0");
}

TEST_F(CommandSet, DownloadPieceAppendsItsSumLowByteFirst) {
    std::memset(device.writeBuffer, 0xFF, 4096);
    ASSERT_TRUE(device.DownloadPiece(31 * 4096, 4096));
    EXPECT_EQ(LastLine(), "F2 03 00 01 F0 00 00 00 10 02 00 00 | out 4098");
    ASSERT_EQ(sent.size(), 4098u);
    EXPECT_EQ(sent[4096], 0x00);
    EXPECT_EQ(sent[4097], 0xF0);

    device.writeBuffer[0] = 0x01;
    device.writeBuffer[1] = 0x02;
    ASSERT_TRUE(device.DownloadPiece(0, 2));
    EXPECT_EQ(sent, (std::vector<uint8_t>{0x01, 0x02, 0x03, 0x00}));
}

TEST_F(CommandSet, DownloadPieceRefusesWhatWouldNotFit) {
    const auto before = drive().Transcript().size();
    EXPECT_FALSE(device.DownloadPiece(0, kBufferCapacity - 1));
    EXPECT_EQ(device.LastResult().refusal, Refusal::LengthAboveCapacity);
    EXPECT_FALSE(device.DownloadPiece(0, 0xFFFE)) << "length + 2 must fit 16 bits";
    EXPECT_EQ(drive().Transcript().size(), before);
}

TEST_F(CommandSet, ReadFlashIdNeedsANonZeroAnswer) {
    ASSERT_TRUE(device.ReadFlashId());
    EXPECT_EQ(device.readBuffer[0], 0xDA);
    EXPECT_EQ(device.readBuffer[1], 0xC8);

    drive().SetFlashIdAnswer({});
    EXPECT_FALSE(device.ReadFlashId());
    EXPECT_EQ(device.resultCode, 1) << "the command itself succeeded";
}

TEST_F(CommandSet, AnotherModelRejectsTheVendorCommands) {
    drive().SetVendorCommands(false);
    for (auto send : {+[](AtapiDevice& d) { return d.ReadFlashId(); },
                      +[](AtapiDevice& d) { return d.DownloadBegin(); },
                      +[](AtapiDevice& d) { return d.WriteBuffer(0, 16, kWriteCodePiece); },
                      +[](AtapiDevice& d) { return d.ReadBuffer(0, 16); }}) {
        EXPECT_FALSE(send(device));
        EXPECT_TRUE(device.SenseIs(0x05, 0x20));
    }
    EXPECT_TRUE(device.Inquiry(0, 0, 0, 96, 0));
}

} // namespace
} // namespace zelfin::testing
