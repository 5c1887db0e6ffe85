#include "package/Collation.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace zelfin {
namespace {

TEST(Collation, OrdersThePackageAlphabet) {
    const char* ascending[] = {" ", "-", "#", "0", "1", "9", "A", "B", "Z", "a", "z"};
    for (std::size_t i = 0; i + 1 < std::size(ascending); ++i) {
        EXPECT_LT(collate(ascending[i], ascending[i + 1]), 0) << ascending[i];
        EXPECT_GT(collate(ascending[i + 1], ascending[i]), 0) << ascending[i + 1];
    }
}

TEST(Collation, ComparesRevisionsAsText) {
    EXPECT_LT(collate("1A05", "1A07"), 0);
    EXPECT_LT(collate("1A07", "1A08"), 0);
    EXPECT_LT(collate("1A99", "1B00"), 0);
    EXPECT_LT(collate("9Z99", "A000"), 0);
    EXPECT_LT(collate("1A08", "B100"), 0) << "digits come before letters";
    EXPECT_LT(collate("#FLS", "1A00"), 0);
    EXPECT_LT(collate("10", "9"), 0) << "text, not numbers";
    EXPECT_LT(collate("1A0", "1A00"), 0) << "a prefix sorts first";
    EXPECT_LT(collate("", "0"), 0);
}

TEST(Collation, IsCaseSensitiveAndEqualOnlyForEqualTexts) {
    EXPECT_NE(collate("BRYMOTE ", "brymote "), 0);
    EXPECT_NE(collate("BRYMOTE ", "BRYMOTE"), 0);
    EXPECT_EQ(collate("BRYMOTE ", "BRYMOTE "), 0);
    EXPECT_EQ(collate("", ""), 0);
    EXPECT_NE(collate(std::string_view("A\0", 2), "A"), 0);
}

TEST(Collation, RanksEveryByteDistinctly) {
    std::set<int> ranks;
    for (int c = 0; c < 256; ++c)
        ranks.insert(collationRank(static_cast<unsigned char>(c)));
    EXPECT_EQ(ranks.size(), 256u);
    EXPECT_EQ(*ranks.begin(), 0);
    EXPECT_EQ(*ranks.rbegin(), 255);
    // Bytes outside the package alphabet keep their byte order after the letters.
    EXPECT_LT(collationRank('z'), collationRank('!'));
    EXPECT_LT(collationRank('!'), collationRank('/'));
    EXPECT_LT(collationRank('/'), collationRank(0xFF));
    EXPECT_LT(collate("Z", "_"), 0);
}

} // namespace
} // namespace zelfin
