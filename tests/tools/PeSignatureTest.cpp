// Reading a Windows program's security directory, and taking its certificate table out.
#include "tools/PeSignature.h"

#include <gtest/gtest.h>

#include <vector>

namespace zelfin::pack {
namespace {

void put32(std::vector<std::uint8_t>& f, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        f[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A minimal PE image: MZ, the PE header at 0x80, an optional header of the given magic with 16
// directories, and `table` bytes of certificate table at the end when signed.
std::vector<std::uint8_t> program(std::uint16_t magic, std::uint32_t table) {
    std::vector<std::uint8_t> f(1024, 0);
    f[0] = 'M';
    f[1] = 'Z';
    put32(f, 0x3C, 0x80);
    put32(f, 0x80, 0x00004550);
    const std::size_t optional = 0x80 + 24;
    f[optional] = static_cast<std::uint8_t>(magic);
    f[optional + 1] = static_cast<std::uint8_t>(magic >> 8);
    const std::size_t count = optional + (magic == 0x10B ? 92 : 108);
    put32(f, count, 16);
    if (table > 0) {
        put32(f, count + 4 + 4 * 8, static_cast<std::uint32_t>(f.size()));
        put32(f, count + 8 + 4 * 8, table);
        f.resize(f.size() + table, 0xC5);
    }
    return f;
}

TEST(PeSignature, FindsTheTableOnlyWhereTheHeadersSayAndDropsItWhole) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
        bool isPe, present;
    } cases[] = {
        {"ELF", {0x7F, 'E', 'L', 'F'}, false, false},
        {"MZ without PE",
         [] {
             auto f = program(0x10B, 0);
             f[0x80] = 0;
             return f;
         }(),
         false, false},
        {"PE header past the end",
         [] {
             auto f = program(0x10B, 0);
             put32(f, 0x3C, 5000);
             return f;
         }(),
         false, false},
        {"PE32 unsigned", program(0x10B, 0), true, false},
        {"PE32 signed", program(0x10B, 256), true, true},
        {"PE32+ signed", program(0x20B, 512), true, true},
    };
    for (const auto& c : cases) {
        const PeSignature sig = findSignature(c.file);
        EXPECT_EQ(sig.isPe, c.isPe) << c.name;
        EXPECT_EQ(sig.present, c.present) << c.name;
        if (!c.present)
            continue;
        auto file = c.file;
        std::string error;
        ASSERT_TRUE(dropSignature(file, error)) << c.name << ": " << error;
        EXPECT_EQ(file.size(), 1024u) << c.name;
        EXPECT_FALSE(findSignature(file).present) << c.name;
    }
}

TEST(PeSignature, RefusesToDropATableThatIsNotAtTheEnd) {
    auto file = program(0x10B, 256);
    file.push_back(0); // something after the table
    std::string error;
    EXPECT_FALSE(dropSignature(file, error));
    EXPECT_NE(error.find("not at the end of the file"), std::string::npos);
}

} // namespace
} // namespace zelfin::pack
