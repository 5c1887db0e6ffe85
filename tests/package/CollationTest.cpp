#include "package/Collation.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

namespace zelfin {
namespace {

struct Ordered {
    std::string_view lower;
    std::string_view higher;
};

void expectAscending(const Ordered& pair) {
    EXPECT_LT(collate(pair.lower, pair.higher), 0) << pair.lower << " < " << pair.higher;
    EXPECT_GT(collate(pair.higher, pair.lower), 0) << pair.higher << " > " << pair.lower;
}

// What the package relies on, and what both the Windows locale collation and the portable
// order give: "#" before digits before upper case, revisions compared as text, a prefix first.
TEST(Collation, OrdersRevisionsAndTheirAlphabetOnEveryBuild) {
    const Ordered pairs[] = {
        {"#", "0"},       {"0", "1"},       {"1", "9"},       {"9", "A"},       {"A", "B"},
        {"B", "Z"},       {"1A05", "1A07"}, {"1A07", "1A08"}, {"1A99", "1B00"}, {"9Z99", "A000"},
        {"1A08", "B100"}, {"#FLS", "1A00"}, {"10", "9"},      {"1A0", "1A00"},  {"", "0"},
    };
    for (const Ordered& pair : pairs) {
        expectAscending(pair);
    }
}

// Zero exactly when the texts are byte for byte equal, whatever the locale thinks alike.
TEST(Collation, IsCaseSensitiveAndEqualOnlyForEqualTexts) {
    const std::string_view distinct[][2] = {
        {"BRYMOTE ", "brymote "},
        {"BRYMOTE ", "BRYMOTE"},
        {std::string_view("A\0", 2), "A"},
        {"a", "A"},
    };
    for (const auto& texts : distinct) {
        EXPECT_NE(collate(texts[0], texts[1]), 0) << texts[0] << " / " << texts[1];
        EXPECT_EQ(collate(texts[0], texts[1]) < 0, collate(texts[1], texts[0]) > 0) << texts[0];
    }
    EXPECT_EQ(collate("BRYMOTE ", "BRYMOTE "), 0);
    EXPECT_EQ(collate("", ""), 0);
}

#if !defined(_WIN32)
// The portable order alone (the locale's own order differs, for example blank against "-" and
// "Z" against "a").
TEST(Collation, PortableOrderRanksEveryByteDistinctly) {
    const Ordered pairs[] = {{" ", "-"}, {"-", "#"}, {"Z", "a"}, {"a", "z"}, {"Z", "_"}};
    for (const Ordered& pair : pairs) {
        expectAscending(pair);
    }
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
}
#endif

} // namespace
} // namespace zelfin
