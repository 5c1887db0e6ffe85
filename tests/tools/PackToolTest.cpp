// zelfin-pack's commands on files in a scratch folder.
#include "tools/PackTool.h"
#include "package/PackageTemplate.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace zelfin::pack {
namespace {

namespace fs = std::filesystem;

std::vector<char> readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const fs::path& p, std::string_view bytes) {
    std::ofstream(p, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class PackTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("zelfin-packtool-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        auto block = std::make_unique<PackageBlock>();
        writeTemplate(*block);
        std::string exeBytes(300, 'E');
        exeBytes.append(reinterpret_cast<const char*>(block.get()), sizeof(PackageBlock));
        exeBytes.append(40, 'F');
        exe = dir / "zelfin.exe";
        writeAll(exe, exeBytes);
        ASSERT_EQ(run({"make-demo", (dir / "demo").string()}), 0) << err.str();
    }
    void TearDown() override { fs::remove_all(dir); }

    int run(const std::vector<std::string>& args) {
        out.str("");
        err.str("");
        return runPackTool(args, out, err);
    }

    fs::path dir, exe;
    std::ostringstream out, err;
};

TEST_F(PackTool, FillsShowsAndChecksTheDemoPackage) {
    ASSERT_EQ(run({"fill", exe.string(), (dir / "demo/package.txt").string()}), 0) << err.str();
    EXPECT_EQ(fs::file_size(exe), 300 + sizeof(PackageBlock) + 40);

    ASSERT_EQ(run({"show", exe.string()}), 0) << err.str();
    const std::string shown = out.str();
    EXPECT_NE(shown.find("package block at file offset 300\n"), std::string::npos);
    EXPECT_NE(shown.find("caption:        \"Flash Program for BRYMOTE DVDRW RVM-270A\"\n"),
              std::string::npos);
    EXPECT_NE(shown.find("N2OMESSAGE=0 CHKDISC=0 BOOTCODE=1 REBOOT=1 AUTOMODE=0 CLOSEAP=0 "
                         "WARNING=1 NBWARNING=0 HOW_MANY_BIN=1\n"),
              std::string::npos);
    EXPECT_NE(shown.find("bank 1:         start 0 size 1048576 new revision \"1A07\"\n"),
              std::string::npos);
    EXPECT_NE(shown.find("slot 1 1:       from \"1A00\" to \"1A07\" vendor \"BRYMOTE \" product "
                         "\"DVDRW RVM-270A  \"\n"),
              std::string::npos);
    EXPECT_NE(shown.find("unfilled slots: 30\n"), std::string::npos);

    ASSERT_EQ(run({"check", exe.string(), "BRYMOTE ", "DVDRW RVM-270A  ", "1A05"}), 0);
    EXPECT_EQ(out.str(), "eligible:       1\n"
                         "group:          1 (bank 1, new revision \"1A07\")\n"
                         "up to date:     0\n");
    ASSERT_EQ(run({"check", exe.string(), "BRYMOTE ", "DVDRW RVM-270A  ", "1A08"}), 0);
    EXPECT_EQ(out.str(), "eligible:       0\ngroup:          -\nup to date:     -\n");
}

TEST_F(PackTool, CheckRefusesIdentitiesNoDriveReportsAndPackagesWithoutFirmware) {
    ASSERT_EQ(run({"fill", exe.string(), (dir / "demo/package.txt").string()}), 0) << err.str();
    // Cut to 8 characters this vendor would match, yet no drive can report it.
    EXPECT_EQ(run({"check", exe.string(), "BRYMOTE X", "DVDRW RVM-270A  ", "1A05"}), 2);
    EXPECT_NE(err.str().find("vendor \"BRYMOTE X\" is 9 characters; a drive reports exactly 8"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(run({"check", exe.string(), "BRYMOTE ", "DVDRW RVM-270A", "1A5"}), 2);
    EXPECT_NE(err.str().find("exactly 16"), std::string::npos);
    EXPECT_NE(err.str().find("exactly 4"), std::string::npos);

    auto block = std::make_unique<PackageBlock>();
    writeTemplate(*block);
    std::string bytes(reinterpret_cast<const char*>(block.get()), sizeof(PackageBlock));
    writeAll(exe, bytes);
    EXPECT_EQ(run({"check", exe.string(), "BRYMOTE ", "DVDRW RVM-270A  ", "1A05"}), 1);
    EXPECT_NE(err.str().find("\"No F/W in executable !\""), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");

    const std::string count = "HOW_MANY_BIN=1";
    bytes.replace(offsetof(PackageBlock, HOW_MANY_BIN), count.size(), count);
    writeAll(exe, bytes);
    EXPECT_EQ(run({"check", exe.string(), "BRYMOTE ", "DVDRW RVM-270A  ", "1A05"}), 1);
    EXPECT_NE(err.str().find("image is unfilled"), std::string::npos) << err.str();
}

TEST_F(PackTool, ARefusedPackageLeavesTheExecutableUntouched) {
    const auto before = readAll(exe);
    const std::string demo = (dir / "demo/package.txt").string();
    std::ifstream in(demo);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    text.replace(text.find("REBOOT     1"), 12, "REBOOT     12");
    writeAll(dir / "bad.txt", text);
    fs::copy_file(dir / "demo/firmware.bin", dir / "firmware.bin");

    EXPECT_EQ(run({"fill", exe.string(), (dir / "bad.txt").string()}), 1);
    EXPECT_NE(err.str().find("REBOOT: \"12\" is not one digit"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("left untouched"), std::string::npos);
    EXPECT_EQ(readAll(exe), before);

    writeAll(dir / "missing.txt", "BANK 1 \"nowhere.bin\" 0 1048576 \"1A07\"\n");
    EXPECT_EQ(run({"fill", exe.string(), (dir / "missing.txt").string()}), 1);
    EXPECT_NE(err.str().find("cannot read"), std::string::npos);
    EXPECT_EQ(readAll(exe), before);
    EXPECT_FALSE(fs::exists(dir / "zelfin.exe.zelfin-pack.tmp"));
}

TEST_F(PackTool, RefusesFilesWithoutABlockAndWrongUsage) {
    writeAll(dir / "plain.bin", "no block here");
    EXPECT_EQ(run({"show", (dir / "plain.bin").string()}), 1);
    EXPECT_NE(err.str().find("no package block found"), std::string::npos);
    EXPECT_EQ(run({"show", (dir / "absent").string()}), 1);
    EXPECT_EQ(run({}), 2);
    EXPECT_EQ(run({"fill", exe.string()}), 2);
    EXPECT_NE(err.str().find("usage:"), std::string::npos);
}

} // namespace
} // namespace zelfin::pack
