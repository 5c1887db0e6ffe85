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
// directories, one section whose data runs from 0x200 to `sectionEnd` (none when 0), and
// `table` bytes of certificate table at the end when signed.
std::vector<std::uint8_t> program(std::uint16_t magic, std::uint32_t table,
                                  std::uint32_t sectionEnd = 0) {
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
    if (sectionEnd > 0) {
        f[0x80 + 6] = 1;                             // one section
        f[0x80 + 20] = magic == 0x10B ? 0xE0 : 0xF0; // its header follows the directories
        const std::size_t section = count + 4 + 16 * 8;
        put32(f, section + 16, sectionEnd - 0x200);
        put32(f, section + 20, 0x200);
    }
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
        ASSERT_TRUE(dropSignature(file, 1024, error)) << c.name << ": " << error;
        EXPECT_EQ(file.size(), 1024u) << c.name;
        EXPECT_FALSE(findSignature(file).present) << c.name;
    }
}

// A table said to start inside the program would cut it; the file stays as it was.
TEST(PeSignature, DropsOnlyATableAfterTheProgramAndThePackage) {
    const auto truncating = [] {
        auto f = program(0x10B, 256, 0x400);
        put32(f, 0x80 + 24 + 92 + 4 + 4 * 8, 288); // the table "starts" at 288 ...
        put32(f, 0x80 + 24 + 92 + 8 + 4 * 8, static_cast<std::uint32_t>(f.size() - 288));
        return f;
    }();
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
        std::size_t keepBefore;
        const char* refusal; // nullptr: dropped
    } cases[] = {
        {"section data ends where the table begins", program(0x10B, 256, 0x400), 1024, nullptr},
        {"PE32+ section", program(0x20B, 256, 0x400), 1024, nullptr},
        {"section data runs into the table", program(0x10B, 256, 0x401), 0, "would begin inside"},
        {"package runs into the table", program(0x10B, 256), 1025, "would begin inside"},
        {"table inside the program", truncating, 0, "would begin inside"},
        {"bytes after the table",
         [] {
             auto f = program(0x10B, 256);
             f.push_back(0);
             return f;
         }(),
         0, "not at the end of the file"},
    };
    for (const auto& c : cases) {
        auto file = c.file;
        std::string error;
        const bool dropped = dropSignature(file, c.keepBefore, error);
        EXPECT_EQ(dropped, c.refusal == nullptr) << c.name << ": " << error;
        if (dropped) {
            EXPECT_EQ(file.size(), 1024u) << c.name;
            continue;
        }
        EXPECT_NE(error.find(c.refusal), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(file, c.file) << c.name;
    }
}

} // namespace
} // namespace zelfin::pack
