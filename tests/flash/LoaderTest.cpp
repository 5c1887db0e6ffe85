#include "flash/Loader.h"
#include "FlashRig.h"
#include "flash/LoaderArea.h"
#include "flash/ProfileTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>

namespace zelfin::flashtest {
namespace {

TEST(LoaderArea, PlaceholderLoadersSitAtTheirOffsetsWithTheirNotesAndZeroTails) {
    if (!kLoaderAreaIsPlaceholder) {
        GTEST_SKIP() << "a vendor loader area is embedded";
    }
    for (uint32_t number = 0; number < kLoaderCount; ++number) {
        const LoaderSpan span = LoaderByNumber(number);
        char note[32];
        std::snprintf(note, sizeof note, "ZELFIN PLACEHOLDER LOADER %02u", number);
        EXPECT_EQ(0, std::memcmp(&kLoaderArea[span.offset], note, std::strlen(note))) << number;
        const uint8_t* tail = &kLoaderArea[span.offset + span.length - 8];
        const bool zeroTail = std::all_of(tail, tail + 8, [](uint8_t b) { return b == 0; });
        EXPECT_EQ(number == 2 || number == 3, zeroTail) << number;
    }
}

TEST(ProfileTable, MatchIsExactOnAllFourBytesAndTheFirstRowWins) {
    EXPECT_EQ(2, FindProfile(0xBF, 0xD6, 0x00, 0x01));
    EXPECT_EQ(8, FindProfile(0xBF, 0xD6, 0x00, 0x02));
    EXPECT_EQ(-1, FindProfile(0xBF, 0xD6, 0x00, 0x08));
    for (const ProfileEntry& e : kProfileTable) {
        EXPECT_EQ(-1, FindProfile(e.maker, e.device, 0x01, e.variant));
    }
}

struct LoaderCase {
    sim::FlashId id;
    int row;
    uint32_t bufferOffset;
    uint8_t code;
    uint32_t sent;
    std::vector<uint8_t> header;
    std::size_t areaOffset;
};

void PrintTo(const LoaderCase& c, std::ostream* os) {
    *os << "profile row " << c.row;
}

class SendLoaderTest : public ::testing::TestWithParam<LoaderCase> {};

TEST_P(SendLoaderTest, SendsTheRowsLoaderBehindItsHeaderAndTheDriveAcceptsIt) {
    const LoaderCase& c = GetParam();
    FlashRig rig(c.id);
    const std::size_t length = ProfileLength(c.row);
    rig.flash.ExpectLoaderBody(std::span(&kLoaderArea[c.areaOffset], length));

    ASSERT_TRUE(SendLoader(*rig.device));

    const std::vector<Cdb> sent = rig.Sent();
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ(cdb::kReadFlashId, sent[0]);
    EXPECT_EQ(WriteBufferCdb(c.bufferOffset, c.sent, c.code), sent[1]);
    EXPECT_EQ(c.sent, rig.drive.Transcript()[1].length);
    const uint8_t* out = rig.device->writeBuffer;
    EXPECT_EQ(c.header, std::vector<uint8_t>(out, out + c.header.size()));
    EXPECT_EQ(0, std::memcmp(out + c.header.size(), &kLoaderArea[c.areaOffset], length));
    EXPECT_TRUE(rig.flash.LoaderAccepted());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Rows, SendLoaderTest,
    ::testing::Values(
        // Rows 2 to 4 send 1280 bytes: the header's 6 bytes push the loader's last 6 out.
        LoaderCase{{0xBF, 0xD6, 0x00, 0x01}, 2, 0, 0x7F, 1280, {0xBF, 0xD6, 0x00, 0x01, 0x05, 0x00}, 766},
        LoaderCase{{0xDA, 0xB5, 0x00, 0x01}, 10, 0, 0x7F, 1286, {0xDA, 0xB5, 0x00, 0x01, 0x05, 0x00}, 6512},
        LoaderCase{{0xDA, 0xC8, 0x00, 0x00}, 0, 0x80000, 0x00, 318, {0xDA, 0xC8, 0x00, 0x00}, 0},
        LoaderCase{{0x01, 0x37, 0x00, 0x05}, 22, 0, 0x7F, 1240, {0x01, 0x37, 0x00, 0x05, 0x04, 0xD2}, 16156}),
    [](const ::testing::TestParamInfo<LoaderCase>& param) {
        return "Row" + std::to_string(param.param.row);
    });
// clang-format on

TEST(SendLoader, SendsNothingWithoutAMatchingRowOrAReadableIdentification) {
    FlashRig unknown(sim::FlashId{0xBF, 0xD6, 0x00, 0x08});
    EXPECT_FALSE(SendLoader(*unknown.device));
    EXPECT_EQ(std::vector<Cdb>{cdb::kReadFlashId}, unknown.Sent());

    FlashRig blank;
    blank.drive.SetFlashIdAnswer({});
    EXPECT_FALSE(SendLoader(*blank.device));
    EXPECT_EQ(std::vector<Cdb>{cdb::kReadFlashId}, blank.Sent());
}

TEST(SendLoader, ReportsARefusedLoader) {
    FlashRig rig;
    rig.flash.ExpectLoaderBody(std::vector<uint8_t>(1280, 0x55));
    EXPECT_FALSE(SendLoader(*rig.device));
    EXPECT_FALSE(rig.flash.LoaderAccepted());
}

} // namespace
} // namespace zelfin::flashtest
