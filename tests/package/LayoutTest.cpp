// The embedded template as bytes: every key and placeholder at the offset the packaging step
// relies on.
#include "BlockBuilder.h"
#include "package/EmbeddedPackage.h"

#include <gtest/gtest.h>

#include <string>

namespace zelfin {
namespace {

std::string bytesAt(std::size_t offset, std::size_t count) {
    const auto* raw = reinterpret_cast<const char*>(&embeddedPackage());
    return std::string(raw + offset, count);
}

// The text at `offset` followed by NULs up to the end of its field.
void expectField(std::size_t offset, std::size_t size, std::string_view text) {
    std::string expected(text);
    expected.resize(size, '\0');
    EXPECT_EQ(bytesAt(offset, size), expected) << "field at offset " << offset;
}

TEST(EmbeddedTemplate, IdentityFieldsAndMarkerSitAtTheirOffsets) {
    expectField(0, 21, "PROGRAMMER_TAG_HERE");
    expectField(21, 13, "v2.0.4");
    expectField(34, 15, "PHONE_HERE");
    expectField(49, 64, "APP_TITLE_HERE");
    expectField(113, 12, "DATE_HERE");
    expectField(125, 32, "INFO_TEXT_HERE");
    expectField(157, 65, "BRYMOTE DVDRW RVM-270A");
    expectField(222, 16, "FW_CONSTRAINTS=");
}

TEST(EmbeddedTemplate, EverySlotHoldsItsPlaceholder) {
    for (int g = 1; g <= 4; ++g) {
        for (int s = 1; s <= 8; ++s) {
            const std::size_t at = 238 + (g - 1) * 384 + (s - 1) * 48;
            const std::string from = "#FLSH" + std::to_string(g) + std::to_string(s);
            expectField(at, 8, from);
            expectField(at + 8, 8, "#");
            expectField(at + 16, 12, "#");
            expectField(at + 28, 20, "#");
        }
    }
    expectField(238 + 2 * 48, 8, "#FLSH13");
}

TEST(EmbeddedTemplate, SettingsAndBankFieldsSitAtTheirOffsets) {
    expectField(1774, 13, "N2OMESSAGE=0");
    expectField(1787, 10, "CHKDISC=0");
    expectField(1797, 18, "BOOTCODE=1");
    expectField(1815, 9, "REBOOT=1");
    expectField(1824, 11, "AUTOMODE=0");
    expectField(1835, 10, "CLOSEAP=0");
    expectField(1845, 10, "WARNING=1");
    expectField(1855, 12, "NBWARNING=0");
    expectField(1867, 20, "HOW_MANY_BIN=0");
    for (int n = 1; n <= 4; ++n) {
        const std::string digit = std::to_string(n);
        expectField(1887 + (n - 1) * 22, 22, "BIN_START" + digit + "=0000000000");
        expectField(1975 + (n - 1) * 21, 21,
                    "BIN_SIZE" + digit + (n == 1 ? "=0001048576" : "=0000000000"));
        expectField(2059 + (n - 1) * 16, 16, "NEW_FW" + digit + "=N/A ");
    }
    EXPECT_EQ(bytesAt(2123, 20), "BANK_START_FROM_HERE");
    EXPECT_EQ(bytesAt(2143, 16), std::string(16, '\0'));
}

TEST(EmbeddedTemplate, RuntimeTemplateMatchesTheLinkedBlockByteForByte) {
    const auto built = test::templateBlock();
    EXPECT_EQ(std::memcmp(built.get(), &embeddedPackage(), sizeof(PackageBlock)), 0);
}

} // namespace
} // namespace zelfin
