// The synthetic package: the image's identity records and the shipped block's verdicts.
#include "tools/TestPackage.h"
#include "package/Eligibility.h"
#include "package/Package.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace zelfin {
namespace {

namespace tp = testpackage;

std::string textAt(const std::vector<std::uint8_t>& image, std::size_t at, std::size_t count) {
    return std::string(reinterpret_cast<const char*>(image.data()) + at, count);
}

// Undoes the byte swap of ATA identify text fields.
std::string swappedTextAt(const std::vector<std::uint8_t>& image, std::size_t at,
                          std::size_t count) {
    std::string s;
    for (std::size_t i = 0; i < count; i += 2) {
        s += static_cast<char>(image[at + i + 1]);
        s += static_cast<char>(image[at + i]);
    }
    return s;
}

TEST(TestImage, CarriesTheIdentityRecordsAtTheirOffsets) {
    const auto image = tp::makeImage("B100", "1A07");
    ASSERT_EQ(image.size(), 1048576u);

    for (std::size_t id : {std::size_t{0x589}, std::size_t{0x6124C}}) {
        EXPECT_EQ(image[id], 0xC0);
        EXPECT_EQ(image[id + 1], 0x85);
        EXPECT_EQ(swappedTextAt(image, id + 20, 20), std::string(20, ' '));
        EXPECT_EQ(swappedTextAt(image, id + 54, 40), "BRYMOTE DVDRW RVM-270A                  ");
    }
    EXPECT_EQ(swappedTextAt(image, 0x5B7, 8), "B100    ");
    EXPECT_EQ(swappedTextAt(image, 0x6127A, 8), "1A07    ");
    EXPECT_EQ(textAt(image, 0x5B7, 4), "1B00") << "stored byte-swapped";

    const std::uint8_t bootHeader[] = {0x05, 0x80, 0x00, 0x32, 0x1F, 0x00, 0x00, 0x00};
    const std::uint8_t mainHeader[] = {0x05, 0x80, 0x00, 0x32, 0x5B, 0x00, 0x00, 0x00};
    EXPECT_TRUE(std::equal(std::begin(bootHeader), std::end(bootHeader), image.begin() + 0x63D));
    EXPECT_TRUE(std::equal(std::begin(mainHeader), std::end(mainHeader), image.begin() + 0x61300));
    EXPECT_EQ(textAt(image, 0x645, 8), "BRYMOTE ");
    EXPECT_EQ(textAt(image, 0x64D, 16), "DVDRW RVM-270A  ");
    EXPECT_EQ(textAt(image, 0x65D, 4), "B100");
    EXPECT_EQ(textAt(image, 0x661, 16), "2004/03/02 10:15");
    EXPECT_EQ(textAt(image, 0x61308, 8), "BRYMOTE ");
    EXPECT_EQ(textAt(image, 0x61310, 16), "DVDRW RVM-270A  ");
    EXPECT_EQ(textAt(image, 0x61320, 4), "1A07");
    EXPECT_EQ(textAt(image, 0x61324, 16), "2004/04/19 16:40");
}

TEST(TestImage, IsDeterministicAndDiffersWhereTheRevisionsDiffer) {
    const auto newer = tp::makeImage(tp::kBootRevision, tp::kNewRevision);
    EXPECT_EQ(newer, tp::makeImage(tp::kBootRevision, tp::kNewRevision));
    EXPECT_EQ(newer[0], 0x02) << "begins with a jump";

    const auto older = tp::makeImage(tp::kBootRevision, tp::kOldRevision);
    EXPECT_TRUE(std::equal(newer.begin(), newer.begin() + 0x10000, older.begin()))
        << "same boot area";
    EXPECT_NE(newer, older);
    // Pieces of the main firmware differ, so a read-back compare can tell the images apart.
    for (std::size_t piece = 0x10000; piece < newer.size(); piece += 4096)
        EXPECT_FALSE(std::equal(newer.begin() + static_cast<std::ptrdiff_t>(piece),
                                newer.begin() + static_cast<std::ptrdiff_t>(piece + 4096),
                                older.begin() + static_cast<std::ptrdiff_t>(piece)))
            << "piece at " << piece;

    const auto erased = std::count(newer.begin(), newer.end(), std::uint8_t{0xFF});
    EXPECT_LT(erased, static_cast<long>(newer.size() / 64));
}

TEST(TestImage, RefusesRevisionsThatDoNotFitTheirField) {
    EXPECT_THROW(tp::makeImage("B1000", "1A07"), std::invalid_argument);
}

TEST(ShippedBlock, DecodesToTheShippedSettingsAndBank) {
    const auto block = tp::makeShippedBlock();
    const Package package(*block);
    const Settings s = package.decodeSettings();
    EXPECT_EQ(s.N2OMESSAGE, 0);
    EXPECT_EQ(s.CHKDISC, 0);
    EXPECT_EQ(s.BOOTCODE, 1);
    EXPECT_EQ(s.REBOOT, 1);
    EXPECT_EQ(s.AUTOMODE, 0);
    EXPECT_EQ(s.CLOSEAP, 0);
    EXPECT_EQ(s.WARNING, 1);
    EXPECT_EQ(s.NBWARNING, 0);
    EXPECT_EQ(s.HOW_MANY_BIN, 1);
    EXPECT_EQ(package.windowTitle(), "Flash Program for BRYMOTE DVDRW RVM-270A");
    EXPECT_FALSE(package.imageUnfilled());
    EXPECT_EQ(package.newRevision(1), "1A07");
    EXPECT_EQ(package.newRevision(2), "N/A ");

    const auto bank = package.cutBank(1);
    ASSERT_TRUE(bank);
    EXPECT_EQ(bank->start, 0u);
    EXPECT_EQ(bank->length, 1048576u);
    EXPECT_TRUE(std::equal(bank->data, bank->data + bank->length,
                           tp::makeImage(tp::kBootRevision, tp::kNewRevision).begin()));

    EXPECT_EQ(std::string(block->BIN_START[0]), "BIN_START1=0000000000");
    EXPECT_EQ(std::string(block->BIN_SIZE[0]), "BIN_SIZE1=0001048576");
    EXPECT_EQ(std::string(block->BIN_SIZE[1]), "BIN_SIZE2=0000000000");
    EXPECT_EQ(std::string(block->HOW_MANY_BIN), "HOW_MANY_BIN=1");
    EXPECT_EQ(std::string(block->constraints[0][2].FW_FROM), "#FLSH13");
}

TEST(ShippedBlock, AcceptsExactlyTheModelInsideItsRanges) {
    const auto block = tp::makeShippedBlock();
    const Package package(*block);
    const Settings s = package.decodeSettings();
    auto eligible = [&](std::string_view vendor, std::string_view revision) {
        return judgeDrive(package, s, 1, DriveIdentity{vendor, tp::kProduct, revision}).eligible;
    };
    EXPECT_EQ(eligible(tp::kVendor, tp::kOldestRevision), 1);
    EXPECT_EQ(eligible(tp::kVendor, tp::kOldRevision), 1);
    EXPECT_EQ(eligible(tp::kVendor, tp::kNewRevision), 1);
    EXPECT_EQ(eligible(tp::kVendor, tp::kBootRevision), 1);
    EXPECT_EQ(eligible(tp::kVendor, tp::kNewerRevision), 0);
    EXPECT_EQ(eligible("OTHERCO ", tp::kOldRevision), 0);
}

} // namespace
} // namespace zelfin
