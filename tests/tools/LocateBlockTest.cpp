#include "tools/LocateBlock.h"
#include "package/PackageTemplate.h"
#include "tools/TestPackage.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zelfin::pack {
namespace {

// An "executable": some bytes, the template block, some more bytes.
std::vector<std::uint8_t> fakeExecutable(std::size_t before, std::size_t after) {
    auto block = std::make_unique<PackageBlock>();
    writeTemplate(*block);
    std::vector<std::uint8_t> file(before, 0xCC);
    const auto* raw = reinterpret_cast<const std::uint8_t*>(block.get());
    file.insert(file.end(), raw, raw + sizeof(PackageBlock));
    file.insert(file.end(), after, 0xDD);
    return file;
}

TEST(LocateBlock, FindsTheBlockByItsMarkerAndKeys) {
    auto file = fakeExecutable(1000, 77);
    const char stray[] = "FW_CONSTRAINTS="; // a lone copy of the marker, as code might hold
    std::memcpy(file.data() + 10, stray, sizeof stray);
    const Located where = locateBlock(file);
    ASSERT_TRUE(where.found) << where.error;
    EXPECT_EQ(where.offset, 1000u);
}

TEST(LocateBlock, FindsAFilledBlockAgain) {
    auto file = fakeExecutable(5, 0);
    std::string error;
    ASSERT_TRUE(writeBlock(file, *testpackage::makeShippedBlock(), error)) << error;
    const Located where = locateBlock(file);
    ASSERT_TRUE(where.found) << where.error;
    const auto copy = copyBlock(file, where.offset);
    EXPECT_EQ(std::string(copy->HOW_MANY_BIN), "HOW_MANY_BIN=1");
}

TEST(LocateBlock, RefusesAmbiguousMissingOrDamagedBlocks) {
    auto two = fakeExecutable(0, 0);
    const auto second = fakeExecutable(3, 0);
    two.insert(two.end(), second.begin(), second.end());
    EXPECT_NE(locateBlock(two).error.find("found 2 package blocks"), std::string::npos);

    EXPECT_FALSE(locateBlock(std::vector<std::uint8_t>(4096, 0)).found);

    auto truncated = fakeExecutable(0, 0);
    truncated.resize(truncated.size() - 1);
    EXPECT_FALSE(locateBlock(truncated).found);

    auto damaged = fakeExecutable(64, 0);
    damaged[64 + offsetof(PackageBlock, BIN_SIZE) + 3 * 21] = 'X';
    const Located where = locateBlock(damaged);
    EXPECT_FALSE(where.found);
    EXPECT_NE(where.error.find("lacks \"BIN_SIZE4=\""), std::string::npos) << where.error;

    std::string error;
    EXPECT_FALSE(writeBlock(damaged, *testpackage::makeShippedBlock(), error));
    EXPECT_EQ(damaged, [] {
        auto d = fakeExecutable(64, 0);
        d[64 + offsetof(PackageBlock, BIN_SIZE) + 3 * 21] = 'X';
        return d;
    }()) << "nothing written";
    EXPECT_THROW(copyBlock(truncated, 0), std::out_of_range);
}

} // namespace
} // namespace zelfin::pack
