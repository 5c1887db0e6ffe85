// What the packer writes, and everything it refuses.
#include "tools/ComposeBlock.h"
#include "package/Package.h"
#include "tools/TestPackage.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <tuple>

namespace zelfin::pack {
namespace {

const std::string kSlot1 = "SLOT 1 1 \"1A00\" \"1A07\" \"BRYMOTE \" \"DVDRW RVM-270A  \"\n";
const std::string kBank1 = "BANK 1 \"image.bin\" 0 1048576 \"1A07\"\n";

struct Composed {
    bool ok = false;
    Problems problems;
    std::unique_ptr<PackageBlock> block = std::make_unique<PackageBlock>();

    bool mentions(std::string_view words) const {
        for (const std::string& e : problems.errors)
            if (e.find(words) != std::string::npos)
                return true;
        return false;
    }
};

// Parses and composes; every bank's data is a file of `fileSizes[file]` bytes (default 1 MiB).
Composed compose(const std::string& text, std::map<std::string, std::size_t> fileSizes = {}) {
    Composed c;
    PackageDescription d = parseDescription(text, c.problems);
    for (BankSpec& bank : d.banks) {
        const auto it = fileSizes.find(bank.file);
        bank.data.resize(it == fileSizes.end() ? kImageSize : it->second);
        for (std::size_t i = 0; i < bank.data.size(); ++i)
            bank.data[i] = static_cast<std::uint8_t>((i >> 12) + bank.number * 16);
    }
    c.ok = c.problems.ok() && composeBlock(d, *c.block, c.problems);
    return c;
}

TEST(ComposeBlock, WritesTheShippedPackage) {
    Problems problems;
    auto owner = std::make_unique<PackageBlock>();
    PackageBlock* block = owner.get();
    ASSERT_TRUE(composeBlock(testpackage::shippedDescription(), *block, problems))
        << (problems.errors.empty() ? "" : problems.errors.front());
    EXPECT_TRUE(problems.warnings.empty());
    const Package package(*block);
    EXPECT_EQ(package.decodeSettings().HOW_MANY_BIN, 1);
    EXPECT_EQ(std::string(block->APP_TITLE), "Flash Program for BRYMOTE DVDRW RVM-270A");
    EXPECT_EQ(std::string(block->PROGRAMMER_TAG), "[Packed with Zelfin]");
    EXPECT_EQ(std::string(block->constraints[0][1].FW_FROM), "B100");
    EXPECT_EQ(std::string(block->constraints[0][1].VENDOR), "BRYMOTE ");
    EXPECT_EQ(std::string(block->constraints[0][0].PRODUCT), "DVDRW RVM-270A  ");
}

TEST(ComposeBlock, KeysLeftOutKeepTheirTemplateValues) {
    const Composed c = compose(kBank1 + kSlot1 + "AUTOMODE 1\n");
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(std::string(c.block->APP_TITLE), "APP_TITLE_HERE");
    EXPECT_EQ(std::string(c.block->AUTOMODE), "AUTOMODE=1");
    EXPECT_EQ(std::string(c.block->REBOOT), "REBOOT=1");
    EXPECT_EQ(std::string(c.block->constraints[3][7].FW_FROM), "#FLSH48");
}

TEST(ComposeBlock, BanksAreWrittenAsTenDigitsAndCountedInHowManyBin) {
    const std::string text = "BANK 1 \"image.bin\" 0 65536 \"1A07\"\n" + kSlot1 +
                             "BANK 2 \"part.bin\" 65536 131072 \"2B01\"\n"
                             "SLOT 2 1 \"2B00\" \"2B01\" \"BRYMOTE \" \"DVDRW RVM-270A  \"\n";
    const Composed c = compose(text, {{"part.bin", 131072}, {"image.bin", 65536}});
    ASSERT_TRUE(c.ok) << c.problems.errors.front();
    EXPECT_EQ(std::string(c.block->HOW_MANY_BIN), "HOW_MANY_BIN=2");
    EXPECT_EQ(std::string(c.block->BIN_START[1]), "BIN_START2=0000065536");
    EXPECT_EQ(std::string(c.block->BIN_SIZE[1]), "BIN_SIZE2=0000131072");
    EXPECT_EQ(std::string(c.block->NEW_FW[1]), "NEW_FW2=2B01");
    const auto bank = Package(*c.block).cutBank(2);
    ASSERT_TRUE(bank);
    EXPECT_EQ(bank->data[0], 32) << "a bank's own file starts at the bank's start";
    EXPECT_EQ(c.block->FW_IMAGE[196608], 0) << "bytes no bank covers are blank";
}

TEST(ComposeBlock, AWholeImageFileGivesEachBankItsWindow) {
    const std::string text = "BANK 1 \"image.bin\" 0 65536 \"1A07\"\n" + kSlot1 +
                             "BANK 2 \"image.bin\" 65536 65536 \"2B01\"\n";
    const Composed c = compose(text);
    ASSERT_TRUE(c.ok) << c.problems.errors.front();
    ASSERT_EQ(c.problems.warnings.size(), 1u) << "bank 2 has no slot";
    EXPECT_EQ(Package(*c.block).cutBank(2)->data[0], 16 + 32);
}

TEST(ComposeBlock, OverlappingBanksWithDifferentBytesAreRefused) {
    const std::string text =
        "BANK 1 \"a.bin\" 0 8192 \"1A07\"\n" + kSlot1 + "BANK 2 \"b.bin\" 4096 8192 \"2B01\"\n";
    const Composed c = compose(text, {{"a.bin", 8192}, {"b.bin", 8192}});
    EXPECT_FALSE(c.ok);
    EXPECT_TRUE(c.mentions("overlaps"));
}

TEST(ComposeBlock, RefusesTextsThatDoNotFitTheirFields) {
    EXPECT_TRUE(compose(kBank1 + kSlot1 + "PROGRAMMER_TAG \"[" + std::string(19, 'x') + "]\"\n")
                    .mentions("at most 20"));
    EXPECT_TRUE(compose(kBank1 + kSlot1 + "APP_TITLE \"" + std::string(64, 'T') + "\"\n")
                    .mentions("at most 63"));
    EXPECT_TRUE(
        compose("BANK 1 \"image.bin\" 0 1048576 \"1A07ABCD\"\n" + kSlot1).mentions("at most 7"));
    EXPECT_TRUE(compose(kBank1 + "SLOT 1 1 \"1A000\" \"1A07\" \"BRYMOTE \" \"DVDRW RVM-270A  \"\n")
                    .mentions("4 characters"));
    EXPECT_TRUE(compose(kBank1 + kSlot1 + "INFO_TEXT \"tab\there\"\n").mentions("control"));
    EXPECT_TRUE(compose(kBank1 + kSlot1 + "APP_TITLE \"" + std::string(63, 'T') + "\"\n").ok);
}

TEST(ComposeBlock, RefusesSettingsThatAreNotOneDigit) {
    for (const char* value : {"12", "x", "-1", "\"\""}) {
        const Composed c = compose(kBank1 + kSlot1 + "REBOOT " + value + "\n");
        EXPECT_FALSE(c.ok) << value;
        EXPECT_TRUE(c.mentions("not one digit")) << value;
    }
    EXPECT_TRUE(compose(kBank1 + kSlot1 + "HOW_MANY_BIN 1\n").mentions("number of BANK lines"));
}

TEST(ComposeBlock, RefusesBanksTheProgramCouldNotCut) {
    EXPECT_TRUE(
        compose("BANK 1 \"i.bin\" 0 0 \"1A07\"\n" + kSlot1, {{"i.bin", 0}}).mentions("empty"));
    EXPECT_TRUE(compose("BANK 1 \"i.bin\" 0 4095 \"1A07\"\n" + kSlot1, {{"i.bin", 4095}})
                    .mentions("shorter than one 4096-byte piece"));
    EXPECT_TRUE(compose("BANK 1 \"i.bin\" 1044481 4096 \"1A07\"\n" + kSlot1, {{"i.bin", 4096}})
                    .mentions("past the end"));
    EXPECT_TRUE(compose("BANK 1 \"i.bin\" 0 8192 \"1A07\"\n" + kSlot1, {{"i.bin", 8000}})
                    .mentions("holds 8000 bytes"));
    EXPECT_TRUE(compose("BANK 1 \"i.bin\" 1044480 4096 \"1A07\"\n" + kSlot1, {{"i.bin", 4096}}).ok);
}

// A description built by hand, not read from text, may hold any number: refused, not indexed.
TEST(ComposeBlock, RefusesBankNumbersAndSlotPositionsOutsideTheTables) {
    for (const auto& [bank, group, slot] :
         {std::tuple{5, 1, 1}, {0, 1, 1}, {-1, 1, 1}, {1, 5, 1}, {1, 0, 1}, {1, 1, 9}, {1, 1, 0}}) {
        PackageDescription d = testpackage::shippedDescription();
        d.banks.front().number = bank;
        d.slots.front().group = group;
        d.slots.front().slot = slot;
        Problems problems;
        auto block = std::make_unique<PackageBlock>();
        EXPECT_FALSE(composeBlock(d, *block, problems)) << bank << " " << group << " " << slot;
        ASSERT_EQ(problems.errors.size(), 1u);
        EXPECT_NE(problems.errors[0].find(bank == 1 ? "slot position" : "bank number"),
                  std::string::npos);
    }
}

TEST(ComposeBlock, RefusesATableThatCannotWorkAsMeant) {
    EXPECT_TRUE(compose(kSlot1).mentions("No F/W in executable"));
    EXPECT_TRUE(compose(kBank1).mentions("no drive would ever be eligible"));
    EXPECT_TRUE(compose(kBank1 + kSlot1 + "SLOT 2 1 \"\" \"\" \"BRYMOTE \" \"\"\n")
                    .mentions("group 2 is filled but bank 2 is empty"));
    EXPECT_TRUE(compose("BANK 2 \"image.bin\" 0 1048576 \"1A07\"\n" +
                        std::string("SLOT 2 1 \"\" \"\" \"BRYMOTE \" \"\"\n"))
                    .mentions("bank 1 is missing"));
    EXPECT_TRUE(compose(kBank1 + kBank1 + kSlot1).mentions("given twice"));
    EXPECT_TRUE(compose(kBank1 + kSlot1 + kSlot1).mentions("given twice"));
    EXPECT_TRUE(compose(kBank1 + "SLOT 1 1 \"1A07\" \"1A00\" \"BRYMOTE \" \"DVDRW RVM-270A  \"\n")
                    .mentions("accept no revision"));
    EXPECT_TRUE(
        compose(kBank1 + "SLOT 1 1 \"#FLSH11\" \"#\" \"#\" \"#\"\n").mentions("4 characters"));
    EXPECT_TRUE(compose(kBank1 + "SLOT 1 1 \"#FLS\" \"#\" \"#\" \"#\"\n").mentions("unfilled"));
}

TEST(ComposeBlock, RefusesVendorAndProductOfTheWrongWidth) {
    const Composed vendor =
        compose(kBank1 + "SLOT 1 1 \"1A00\" \"1A07\" \"BRYMOTE\" \"DVDRW RVM-270A  \"\n");
    EXPECT_FALSE(vendor.ok);
    EXPECT_TRUE(vendor.mentions("exactly 8 characters"));
    EXPECT_TRUE(vendor.mentions("could never match"));
    EXPECT_TRUE(compose(kBank1 + "SLOT 1 1 \"1A00\" \"1A07\" \"BRYMOTE \" \"DVDRW RVM-270A\"\n")
                    .mentions("exactly 16 characters"));

    const Composed wildcard = compose(kBank1 + "SLOT 1 1 \"1A00\" \"1A07\" \"\" \"\"\n");
    EXPECT_TRUE(wildcard.ok);
    ASSERT_EQ(wildcard.problems.warnings.size(), 1u);
    EXPECT_NE(wildcard.problems.warnings[0].find("every vendor and product"), std::string::npos);
    const Composed everything = compose(kBank1 + "SLOT 1 1 \"\" \"\" \"\" \"\"\n");
    EXPECT_TRUE(everything.ok);
    ASSERT_EQ(everything.problems.warnings.size(), 1u);
    EXPECT_NE(everything.problems.warnings[0].find("every drive"), std::string::npos);
}

TEST(ComposeBlock, RevisionsAreDigitsAndUpperCaseLetters) {
    for (const char* bounds : {"\"1a00\" \"1A07\"", "\"1A00\" \"1A-7\"", "\"1A0 \" \"1A07\""}) {
        const Composed c =
            compose(kBank1 + "SLOT 1 1 " + bounds + " \"BRYMOTE \" \"DVDRW RVM-270A  \"\n");
        EXPECT_FALSE(c.ok) << bounds;
        EXPECT_TRUE(c.mentions("only digits and upper-case letters")) << bounds;
    }
    EXPECT_TRUE(compose(kBank1 + "SLOT 1 1 \"\" \"1A07\" \"BRYMOTE \" \"DVDRW RVM-270A  \"\n").ok);

    const auto withNewRevision = [](const std::string& revision) {
        return compose("BANK 1 \"image.bin\" 0 1048576 \"" + revision + "\"\n" + kSlot1);
    };
    EXPECT_TRUE(withNewRevision("1a07").mentions("must begin with 4 digits or upper-case"));
    EXPECT_TRUE(withNewRevision("N/A ").mentions("must begin with 4 digits or upper-case"));
    const Composed shortRevision = withNewRevision("1A0");
    EXPECT_TRUE(shortRevision.ok);
    ASSERT_EQ(shortRevision.problems.warnings.size(), 1u);
    EXPECT_NE(shortRevision.problems.warnings[0].find("shorter than 4"), std::string::npos);
    const Composed suffixed = withNewRevision("1A07-b2");
    EXPECT_TRUE(suffixed.ok) << "only the first 4 characters are compared";
    EXPECT_TRUE(suffixed.problems.warnings.empty());
}

TEST(ParseDescription, ReadsQuotedAndBareWordsAndReportsLineNumbers) {
    Problems problems;
    const PackageDescription d = parseDescription("# comment\n\n"
                                                  "APP_TITLE \"Say \\\"hi\\\" \\\\ bye\"\r\n"
                                                  "APP_VERSION v3\n"
                                                  "SLOT 1 1 \"\" \"\" \"\" \"\"\n",
                                                  problems);
    EXPECT_TRUE(problems.ok());
    EXPECT_EQ(d.texts.at("APP_TITLE"), "Say \"hi\" \\ bye");
    EXPECT_EQ(d.texts.at("APP_VERSION"), "v3");
    ASSERT_EQ(d.slots.size(), 1u);
    EXPECT_EQ(d.slots[0].vendor, "");
    EXPECT_EQ(d.slots[0].line, 5);

    Problems bad;
    parseDescription("APP_TITLE \"open\nFOO 1\nBANK 5 x 0 4096 1A07\nSLOT 1 9 a b c d\n"
                     "APP_VERSION a b\nINFO_TEXT \"a\"b\nAPP_TITLE ok\n",
                     bad);
    ASSERT_EQ(bad.errors.size(), 6u);
    EXPECT_EQ(bad.errors[0], "line 1: a quoted text is not closed");
    EXPECT_EQ(bad.errors[1], "line 2: unknown key FOO");
    EXPECT_EQ(bad.errors[2], "line 3: bank number must be 1 to 4");
    EXPECT_EQ(bad.errors[3], "line 4: slot position must be group 1 to 4, slot 1 to 8");
    EXPECT_NE(bad.errors[4].find("line 5: APP_VERSION takes one value"), std::string::npos);
    EXPECT_NE(bad.errors[5].find("line 6:"), std::string::npos);
}

} // namespace
} // namespace zelfin::pack
