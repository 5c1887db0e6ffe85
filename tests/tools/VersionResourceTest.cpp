// Writing the package's title and revision into a program's version resource, read back from
// the bytes against blocks the Windows resource compiler laid out.
#include "tools/VersionResource.h"

#include "tools/TestPackage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace zelfin::pack {
namespace {

std::vector<std::uint8_t> hex(const std::string& text) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

// VERSIONINFO with FILEVERSION 0,1,0,0, a 040904E4 table of FileDescription and ProductVersion,
// and Translation 0x409, 1252, as i686-w64-mingw32-windres compiles it: the build's blank-padded
// texts, and the shipped package's.
const std::vector<std::uint8_t> kPadded = hex("c80134000000560053005f00560045005200530049004f004e00"
                                              "5f0049004e0046004f0000000000bd04effe00000100"
                                              "0100000000000000000000000000000000000000000000000000"
                                              "00000000000000000000000000000000000028010000"
                                              "010053007400720069006e006700460069006c00650049006e00"
                                              "66006f00000004010000010030003400300039003000"
                                              "3400450034000000a80040000100460069006c00650044006500"
                                              "73006300720069007000740069006f006e0000000000"
                                              "5a0065006c00660069006e0020006600690072006d0077006100"
                                              "72006500200075007000640061007400650020002000"
                                              "2000200020002000200020002000200020002000200020002000"
                                              "20002000200020002000200020002000200020002000"
                                              "2000200020002000200020002000200020002000200020002000"
                                              "200020000000440010000100500072006f0064007500"
                                              "63007400560065007200730069006f006e00000030002e003100"
                                              "2e003000200020002000200020002000200020002000"
                                              "20000000440000000100560061007200460069006c0065004900"
                                              "6e0066006f0000000000240004000000540072006100"
                                              "6e0073006c006100740069006f006e00000000000904e404");
const std::vector<std::uint8_t> kShipped = hex("880134000000560053005f00560045005200530049004f004e0"
                                               "05f0049004e0046004f0000000000bd04effe00000100"
                                               "010000000000000000000000000000000000000000000000000"
                                               "0000000000000000000000000000000000000e6000000"
                                               "010053007400720069006e006700460069006c00650049006e0"
                                               "066006f000000c2000000010030003400300039003000"
                                               "34004500340000007a0029000100460069006c0065004400650"
                                               "073006300720069007000740069006f006e0000000000"
                                               "46006c006100730068002000500072006f006700720061006d0"
                                               "0200066006f00720020004200520059004d004f005400"
                                               "45002000440056004400520057002000520056004d002d00320"
                                               "0370030004100000000002e0005000100500072006f00"
                                               "6400750063007400560065007200730069006f006e000000310"
                                               "041003000370000000000440000000100560061007200"
                                               "460069006c00650049006e0066006f000000000024000400000"
                                               "05400720061006e0073006c006100740069006f006e00"
                                               "000000000904e404");

void put(std::vector<std::uint8_t>& f, std::size_t at, std::uint32_t v, int bytes = 4) {
    for (int i = 0; i < bytes; ++i)
        f[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

constexpr std::size_t kSectionAt = 0x200; // the resource section's file offset; its RVA 0x1000
constexpr std::size_t kDataEntryAt = kSectionAt + 72;
constexpr std::size_t kBlockAt = kSectionAt + 88;

// A PE32 program whose one section holds a resource tree with one version resource, `block`.
std::vector<std::uint8_t> program(const std::vector<std::uint8_t>& block) {
    std::vector<std::uint8_t> f(kBlockAt + block.size() + 64, 0);
    f[0] = 'M';
    f[1] = 'Z';
    put(f, 0x3C, 0x80);
    put(f, 0x80, 0x00004550);
    put(f, 0x80 + 6, 1, 2);     // one section,
    put(f, 0x80 + 20, 0xE0, 2); // after an optional header of 16 directories
    put(f, 0x98, 0x10B, 2);
    put(f, 0x98 + 92, 16);
    put(f, 0x98 + 96 + 2 * 8, 0x1000); // the resource directory
    put(f, 0x98 + 96 + 2 * 8 + 4, static_cast<std::uint32_t>(f.size() - kSectionAt));
    const std::size_t section = 0x98 + 0xE0;
    std::memcpy(&f[section], ".rsrc", 5);
    put(f, section + 8, static_cast<std::uint32_t>(f.size() - kSectionAt));
    put(f, section + 12, 0x1000);
    put(f, section + 16, static_cast<std::uint32_t>(f.size() - kSectionAt));
    put(f, section + 20, kSectionAt);
    // Type 16, name 1, language 0x409, each a directory of one ID entry, then the data entry.
    const std::uint32_t levels[][2] = {{16, 0x80000000u | 24}, {1, 0x80000000u | 48}, {0x409, 72}};
    for (std::size_t i = 0; i < 3; ++i) {
        put(f, kSectionAt + 24 * i + 14, 1, 2);
        put(f, kSectionAt + 24 * i + 16, levels[i][0]);
        put(f, kSectionAt + 24 * i + 20, levels[i][1]);
    }
    put(f, kDataEntryAt, 0x1000 + 88);
    put(f, kDataEntryAt + 4, static_cast<std::uint32_t>(block.size()));
    std::copy(block.begin(), block.end(), f.begin() + kBlockAt);
    return f;
}

std::unique_ptr<PackageBlock> titled(const std::string& title) {
    auto block = testpackage::makeShippedBlock();
    std::memset(block->APP_TITLE, 0, sizeof block->APP_TITLE);
    std::memcpy(block->APP_TITLE, title.data(), title.size());
    return block;
}

TEST(VersionResource, WritesTheCompilersLayoutWithinTheBuildsRoomAgainAndAgain) {
    auto file = program(kPadded);
    const std::size_t size = file.size();
    std::string report, error;
    const auto shipped = testpackage::makeShippedBlock();
    ASSERT_TRUE(writeVersionStrings(file, Package(*shipped), report, error)) << error;
    ASSERT_EQ(file.size(), size);
    EXPECT_TRUE(std::equal(kShipped.begin(), kShipped.end(), file.begin() + kBlockAt));
    EXPECT_TRUE(std::all_of(file.begin() + kBlockAt + kShipped.size(),
                            file.begin() + kBlockAt + kPadded.size(), [](auto b) { return !b; }));
    EXPECT_EQ(readVersionString(file, u"ProductVersion"), u"1A07");
    EXPECT_EQ(report, "version resource: FileDescription \"Flash Program for BRYMOTE DVDRW "
                      "RVM-270A\", ProductVersion \"1A07\"");

    // Filled again, the longest title still fits: the room is the directory's, not the text's.
    const std::string longest = "\x80 " + std::string(60, 'W') + "\xE9";
    ASSERT_EQ(longest.size(), 63u);
    ASSERT_TRUE(writeVersionStrings(file, Package(*titled(longest)), report, error)) << error;
    EXPECT_EQ(readVersionString(file, u"FileDescription"),
              u"\u20AC " + std::u16string(60, u'W') + u"\u00E9");
    EXPECT_EQ(file.size(), size);
}

TEST(VersionResource, RefusesADamagedOrTooSmallResourceAndLeavesTheFile) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
        std::string title;
        const char* why;
    } cases[] = {
        {"a build without room", program(kShipped), std::string(63, 'W'), "no room"},
        {"a String longer than its table",
         [] {
             auto f = program(kPadded);
             put(f, kBlockAt + 0x98, 0x1000, 2); // FileDescription's length
             return f;
         }(),
         "Title", "damaged"},
        {"a resource past its section",
         [] {
             auto f = program(kPadded);
             put(f, kDataEntryAt + 4, 0x10000);
             return f;
         }(),
         "Title", "outside"},
        {"no FileDescription",
         [] {
             auto f = program(kPadded);
             f[kBlockAt + 0x9E] = 'X'; // its key's first letter
             return f;
         }(),
         "Title", "no FileDescription"},
    };
    for (const auto& c : cases) {
        auto file = c.file;
        std::string report, error;
        EXPECT_FALSE(writeVersionStrings(file, Package(*titled(c.title)), report, error)) << c.name;
        EXPECT_NE(error.find(c.why), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(file, c.file) << c.name;
    }
}

TEST(VersionResource, AProgramWithoutAResourceHasNothingToWrite) {
    auto noResource = program(kPadded);
    put(noResource, 0x98 + 96 + 2 * 8, 0);
    const struct {
        std::vector<std::uint8_t> file;
        const char* report;
    } cases[] = {
        {{0x7F, 'E', 'L', 'F', 2, 1, 1}, "version resource: none (not a Windows program)"},
        {noResource, "version resource: none"},
    };
    const auto shipped = testpackage::makeShippedBlock();
    for (const auto& c : cases) {
        auto file = c.file;
        std::string report, error;
        EXPECT_TRUE(writeVersionStrings(file, Package(*shipped), report, error)) << error;
        EXPECT_EQ(report, c.report);
        EXPECT_EQ(file, c.file);
    }
}

} // namespace
} // namespace zelfin::pack
