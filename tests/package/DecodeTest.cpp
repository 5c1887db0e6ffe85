#include "BlockBuilder.h"
#include "package/Package.h"

#include <gtest/gtest.h>

namespace zelfin {
namespace {

using test::setField;

TEST(DecodeSettings, TemplateDecodesToItsDefaultsWithoutFirmware) {
    const auto block = test::templateBlock();
    const Settings s = Package(*block).decodeSettings();
    EXPECT_EQ(s.N2OMESSAGE, 0);
    EXPECT_EQ(s.CHKDISC, 0);
    EXPECT_EQ(s.BOOTCODE, 1);
    EXPECT_EQ(s.REBOOT, 1);
    EXPECT_EQ(s.AUTOMODE, 0);
    EXPECT_EQ(s.CLOSEAP, 0);
    EXPECT_EQ(s.WARNING, 1);
    EXPECT_EQ(s.NBWARNING, 0);
    EXPECT_EQ(s.HOW_MANY_BIN, 0);
}

TEST(DecodeSettings, OnlyTheLastCharacterCounts) {
    auto block = test::templateBlock();
    const Package package(*block);

    setField(block->HOW_MANY_BIN, "HOW_MANY_BIN=12");
    EXPECT_EQ(package.decodeSettings().HOW_MANY_BIN, 2);
    setField(block->HOW_MANY_BIN, "HOW_MANY_BIN=10");
    EXPECT_EQ(package.decodeSettings().HOW_MANY_BIN, 0) << "10 means no firmware";

    for (const char* text : {"REBOOT=Y", "REBOOT=-", "REBOOT= ", "REBOOT="}) {
        setField(block->REBOOT, text);
        EXPECT_EQ(package.decodeSettings().REBOOT, 0) << text;
    }
    setField(block->AUTOMODE, "AUTOMODE=7");
    EXPECT_EQ(package.decodeSettings().AUTOMODE, 7);
    setField(block->CHKDISC, "");
    EXPECT_EQ(package.decodeSettings().CHKDISC, 0);
}

TEST(DecodeSettings, ASettingWithoutTerminatorIsReadWithinItsField) {
    auto block = test::templateBlock();
    setField(block->REBOOT, "REBOOT=13"); // 9 characters fill the 9-byte field
    block->AUTOMODE[0] = '5';             // the next field must not be taken as part of it
    EXPECT_EQ(Package(*block).decodeSettings().REBOOT, 3);
}

TEST(WindowTitle, PlaceholderGivesTheVersionCaption) {
    auto block = test::templateBlock();
    const Package package(*block);
    EXPECT_EQ(package.windowTitle(), "Zelfin v2.0.4");
    setField(block->APP_TITLE, "APP_TITLE_HERE and more");
    EXPECT_EQ(package.windowTitle(), "Zelfin v2.0.4");
    setField(block->APP_VERSION, "v9.9");
    EXPECT_EQ(package.windowTitle(), "Zelfin v9.9");
}

TEST(WindowTitle, AnyOtherTitleIsShownAsWritten) {
    auto block = test::templateBlock();
    const Package package(*block);
    for (const char* title : {"App_TITLE_HERE", "APP_TITLE_HERe", "APP_TITLE_HER", "",
                              "Flash Program for BRYMOTE DVDRW RVM-270A"}) {
        setField(block->APP_TITLE, title);
        EXPECT_EQ(package.windowTitle(), title);
    }
    const std::string full(64, 'T'); // no terminator: the caption stops at the field's end
    setField(block->APP_TITLE, full);
    EXPECT_EQ(package.windowTitle(), full);
}

TEST(ImageUnfilled, NineteenBytesDecide) {
    auto block = test::templateBlock();
    const Package package(*block);
    EXPECT_TRUE(package.imageUnfilled());
    block->FW_IMAGE[19] = 'X';
    EXPECT_TRUE(package.imageUnfilled()) << "the 20th byte plays no part";
    block->FW_IMAGE[18] = 'X';
    EXPECT_FALSE(package.imageUnfilled());
    std::memset(block->FW_IMAGE, 0, 32);
    EXPECT_FALSE(package.imageUnfilled());
}

TEST(ReadSlot, ReturnsTheFourTextsAndRefusesPositionsOutsideTheTable) {
    auto block = test::templateBlock();
    test::setSlot(*block, 4, 8, "1A00", "1A07", test::kVendor, test::kProduct);
    const Package package(*block);
    const auto slot = package.readSlot(4, 8);
    ASSERT_TRUE(slot);
    EXPECT_EQ(slot->from, "1A00");
    EXPECT_EQ(slot->to, "1A07");
    EXPECT_EQ(slot->vendor, "BRYMOTE ");
    EXPECT_EQ(slot->product, "DVDRW RVM-270A  ");
    EXPECT_EQ(package.readSlot(1, 3)->from, "#FLSH13");
    EXPECT_FALSE(package.readSlot(0, 1));
    EXPECT_FALSE(package.readSlot(5, 1));
    EXPECT_FALSE(package.readSlot(1, 9));
}

TEST(NewRevision, IsTheTextAfterTheKey) {
    auto block = test::templateBlock();
    setField(block->NEW_FW[0], "NEW_FW1=1A07");
    const Package package(*block);
    EXPECT_EQ(package.newRevision(1), "1A07");
    EXPECT_EQ(package.newRevision(2), "N/A ");
    EXPECT_EQ(package.newRevision(0), "");
    EXPECT_EQ(package.newRevision(5), "");
}

TEST(CutBank, YieldsTheBytesTheStartAndSizeFieldsName) {
    auto block = test::templateBlock();
    setField(block->BIN_START[1], "BIN_START2=0000065536");
    setField(block->BIN_SIZE[1], "BIN_SIZE2=0000131072");
    const Package package(*block);

    const auto bank = package.cutBank(2);
    ASSERT_TRUE(bank);
    EXPECT_EQ(bank->data, block->FW_IMAGE + 65536);
    EXPECT_EQ(bank->start, 65536u);
    EXPECT_EQ(bank->length, 131072u);

    const auto whole = package.cutBank(1);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->data, block->FW_IMAGE);
    EXPECT_EQ(whole->length, 1048576u);

    const Bank initial = package.initialBank();
    EXPECT_EQ(initial.data, block->FW_IMAGE);
    EXPECT_EQ(initial.length, 0u);
}

TEST(CutBank, StartAndSizeAreReadWithTheProductsNumberReading) {
    auto block = test::templateBlock();
    setField(block->BIN_START[0], "BIN_START1=  +4096xyz");
    setField(block->BIN_SIZE[0], "BIN_SIZE1=0000008192");
    const Package package(*block);
    EXPECT_EQ(package.bankStart(1), 4096);
    ASSERT_TRUE(package.cutBank(1));
    EXPECT_EQ(package.cutBank(1)->start, 4096u);
}

TEST(CutBank, ABankThatDoesNotFitCannotBeCut) {
    auto block = test::templateBlock();
    const Package package(*block);
    struct Case {
        const char* start;
        const char* size;
        BankFit fit;
    };
    const Case cases[] = {
        {"BIN_START1=0000000000", "BIN_SIZE1=0000000000", BankFit::Empty},
        {"BIN_START1=0000000000", "BIN_SIZE1=0000004095", BankFit::TooShort},
        {"BIN_START1=0001044480", "BIN_SIZE1=0000004096", BankFit::Fits},
        {"BIN_START1=0001044481", "BIN_SIZE1=0000004096", BankFit::BeyondImage},
        {"BIN_START1=0000000000", "BIN_SIZE1=0001048577", BankFit::BeyondImage},
        {"BIN_START1=-000004096", "BIN_SIZE1=0000008192", BankFit::BeyondImage},
        {"BIN_START1=4294967295", "BIN_SIZE1=0000008192", BankFit::BeyondImage},
        {"BIN_START1=0000000000", "BIN_SIZE1=-000008192", BankFit::BeyondImage},
    };
    for (const Case& c : cases) {
        setField(block->BIN_START[0], c.start);
        setField(block->BIN_SIZE[0], c.size);
        EXPECT_EQ(package.checkBank(1), c.fit) << c.start << " " << c.size;
        EXPECT_EQ(package.cutBank(1).has_value(), c.fit == BankFit::Fits) << c.start;
    }
    EXPECT_EQ(package.checkBank(0), BankFit::NoSuchBank);
    EXPECT_EQ(package.checkBank(5), BankFit::NoSuchBank);
    EXPECT_FALSE(package.cutBank(5));
}

TEST(DriveName, IsTheDriveNameField) {
    auto block = test::templateBlock();
    EXPECT_EQ(Package(*block).driveName(), "BRYMOTE DVDRW RVM-270A");
}

} // namespace
} // namespace zelfin
