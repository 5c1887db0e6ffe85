#include "package/Eligibility.h"
#include "BlockBuilder.h"

#include <gtest/gtest.h>

namespace zelfin {
namespace {

using test::kProduct;
using test::kVendor;
using test::setField;
using test::setSlot;

class Eligibility : public ::testing::Test {
protected:
    Verdict judge(std::string_view revision, std::string_view vendor = kVendor,
                  std::string_view product = kProduct, std::uint8_t present = 1) {
        const Package package(*block);
        return judgeDrive(package, package.decodeSettings(), present,
                          DriveIdentity{vendor, product, revision});
    }
    void setBanks(int count) { block->HOW_MANY_BIN[13] = static_cast<char>('0' + count); }

    // Group 1 as shipped: slot 1 from 1A00 to 1A07, slot 2 the boot revision B100.
    std::unique_ptr<PackageBlock> block = [] {
        auto b = test::filledBlock(1);
        setSlot(*b, 1, 1, "1A00", "1A07", kVendor, kProduct);
        setSlot(*b, 1, 2, "B100", "B100", kVendor, kProduct);
        setField(b->NEW_FW[0], "NEW_FW1=1A07");
        return b;
    }();
};

TEST_F(Eligibility, ShippedTableAcceptsTheModelInsideEitherRange) {
    for (const char* revision : {"1A00", "1A05", "1A07", "B100"}) {
        const Verdict v = judge(revision);
        EXPECT_EQ(v.eligible, 1) << revision;
        EXPECT_EQ(v.groupIndex, 0) << revision;
        EXPECT_EQ(v.upToDate, 0) << revision << ": N2OMESSAGE is 0";
    }
    for (const char* revision : {"19ZZ", "1A08", "1B00", "B0ZZ", "B101", "1A0", ""})
        EXPECT_EQ(judge(revision).eligible, 0) << revision;
}

TEST_F(Eligibility, VendorAndProductMatchOnlyInFull) {
    EXPECT_EQ(judge("1A05", "BRYMOTE").eligible, 0);
    EXPECT_EQ(judge("1A05", "brymote ").eligible, 0);
    EXPECT_EQ(judge("1A05", "OTHERCO ").eligible, 0);
    EXPECT_EQ(judge("1A05", kVendor, "DVDRW RVM-270A").eligible, 0);
    EXPECT_EQ(judge("1A05", kVendor, "DVDRW RVM-270B  ").eligible, 0);

    setSlot(*block, 1, 1, "1A00", "1A07", "BRYMOTE", kProduct); // seven characters
    setSlot(*block, 1, 2, "#FLSH12", "#", "#", "#");
    EXPECT_EQ(judge("1A05").eligible, 0) << "a 7-character slot vendor never matches";
}

TEST_F(Eligibility, DriveTextsAreCutToTheirWidthsAndAtANul) {
    EXPECT_EQ(judge("1A05 extra").eligible, 1);
    EXPECT_EQ(judge("1A05", "BRYMOTE INC", "DVDRW RVM-270A  -X").eligible, 1);
    EXPECT_EQ(judge(std::string_view("1A0\0"
                                     "5",
                                     5))
                  .eligible,
              0);
}

TEST_F(Eligibility, EmptySlotFieldsAreWildcards) {
    setSlot(*block, 1, 1, "", "", "", "");
    EXPECT_EQ(judge("ZZZZ", "OTHERCO ", "ANY DRIVE       ").eligible, 1);

    setSlot(*block, 1, 1, "", "1A07", kVendor, kProduct);
    EXPECT_EQ(judge("0000").eligible, 1);
    EXPECT_EQ(judge("1A08").eligible, 0);
    setSlot(*block, 1, 1, "1A00", "", kVendor, kProduct);
    EXPECT_EQ(judge("ZZZZ").eligible, 1);
    setSlot(*block, 1, 1, "1A00", "1A07", "", kProduct);
    EXPECT_EQ(judge("1A05", "OTHERCO ").eligible, 1);
}

TEST_F(Eligibility, LowerBoundAfterUpperBoundAcceptsNothing) {
    setSlot(*block, 1, 1, "1A07", "1A00", kVendor, kProduct);
    for (const char* revision : {"1A00", "1A05", "1A07"})
        EXPECT_EQ(judge(revision).eligible, 0) << revision;
}

TEST_F(Eligibility, UnfilledSlotsAcceptNoDrive) {
    auto bare = test::filledBlock(4); // every slot of every group unfilled
    block = std::move(bare);
    EXPECT_EQ(judge("1A05").eligible, 0);
    EXPECT_EQ(judge("ZZZZ", "OTHERCO ", "ANY DRIVE       ").eligible, 0);
}

TEST_F(Eligibility, AnUnfilledSlotIsPassedOverAndTheWalkGoesOn) {
    setSlot(*block, 1, 1, "#FLSH11", "#", "#", "#");
    setSlot(*block, 1, 2, "", "", "OTHERCO ", "");
    setSlot(*block, 1, 3, "1A00", "1A07", kVendor, kProduct);
    EXPECT_EQ(judge("1A05").eligible, 1);
}

TEST_F(Eligibility, APartlyFilledPlaceholderSlotIsJudgedAsFilled) {
    setSlot(*block, 1, 1, "#FLSH11", "1A07", kVendor, kProduct);
    EXPECT_EQ(judge("0000").eligible, 1) << "\"#FLS\" is the lower bound and sorts first";
    setSlot(*block, 1, 1, "#FLSH11", "#", kVendor, kProduct);
    EXPECT_EQ(judge("1A05").eligible, 0) << "upper bound \"#\" is below every revision";
}

TEST_F(Eligibility, TheFirstAcceptingSlotDecidesTheGroup) {
    setBanks(3);
    setSlot(*block, 1, 1, "1B00", "1B99", kVendor, kProduct);
    setSlot(*block, 1, 2, "B200", "B200", kVendor, kProduct);
    setSlot(*block, 2, 8, "1A00", "1A07", kVendor, kProduct);
    setSlot(*block, 3, 1, "", "", "", "");
    setField(block->NEW_FW[1], "NEW_FW2=1A05");

    Verdict v = judge("1A05");
    EXPECT_EQ(v.eligible, 1);
    EXPECT_EQ(v.groupIndex, 1) << "group 2, bank 2";
    v = judge("1B10");
    EXPECT_EQ(v.groupIndex, 0);
    v = judge("ZZZZ");
    EXPECT_EQ(v.groupIndex, 2);

    setBanks(1);
    EXPECT_EQ(judge("1A05").eligible, 0) << "groups past HOW_MANY_BIN are not walked";
}

TEST_F(Eligibility, BankCountsAboveFourWalkOnlyTheFourGroups) {
    setSlot(*block, 1, 1, "#FLSH11", "#", "#", "#");
    setSlot(*block, 1, 2, "#FLSH12", "#", "#", "#");
    setSlot(*block, 4, 8, "1A00", "1A07", kVendor, kProduct);
    setField(block->NEW_FW[3], "NEW_FW4=1A07");
    setBanks(9);
    const Verdict v = judge("1A07");
    EXPECT_EQ(v.eligible, 1);
    EXPECT_EQ(v.groupIndex, 3);
    EXPECT_EQ(judge("1A08").eligible, 0);
}

TEST_F(Eligibility, UpToDateNeedsN2OMessageOneAndARevisionAtOrPastTheBanks) {
    setSlot(*block, 1, 1, "1A00", "1A99", kVendor, kProduct);
    EXPECT_EQ(judge("1A07").upToDate, 0);

    setField(block->N2OMESSAGE, "N2OMESSAGE=1");
    EXPECT_EQ(judge("1A06").upToDate, 0);
    EXPECT_EQ(judge("1A07").upToDate, 1);
    EXPECT_EQ(judge("1A10").upToDate, 1);

    setField(block->NEW_FW[0], "NEW_FW1=1A07XYZ"); // only four characters are compared
    EXPECT_EQ(judge("1A07").upToDate, 1);

    setField(block->N2OMESSAGE, "N2OMESSAGE=2");
    EXPECT_EQ(judge("1A10").upToDate, 0) << "the flag is tested for the value 1";
}

TEST_F(Eligibility, NoDriveIsEligibleWithoutPresenceOrFirmware) {
    EXPECT_EQ(judge("1A05", kVendor, kProduct, 0).eligible, 0);
    EXPECT_EQ(judge("1A05", kVendor, kProduct, 2).eligible, 0);

    std::memcpy(block->FW_IMAGE, "BANK_START_FROM_HER", 19);
    EXPECT_EQ(judge("1A05").eligible, 0);
    setSlot(*block, 1, 1, "", "", "", "");
    EXPECT_EQ(judge("1A05").eligible, 0);
}

struct Entry {
    std::uint8_t eligible = 1;
    std::uint16_t groupIndex = 7;
    std::int16_t upToDate = 5;
};

TEST(ApplyVerdict, LeavesGroupAndUpToDateOfARefusedDrive) {
    Entry e;
    applyVerdict(e, Verdict{0, 2, 1});
    EXPECT_EQ(e.eligible, 0);
    EXPECT_EQ(e.groupIndex, 7);
    EXPECT_EQ(e.upToDate, 5);
    applyVerdict(e, Verdict{1, 2, 1});
    EXPECT_EQ(e.eligible, 1);
    EXPECT_EQ(e.groupIndex, 2);
    EXPECT_EQ(e.upToDate, 1);
}

} // namespace
} // namespace zelfin
