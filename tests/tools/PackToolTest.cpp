// zelfin-pack's commands on files in a scratch folder.
#include "tools/PackTool.h"
#include "flash/LoaderArea.h"
#include "package/PackageSeal.h"
#include "package/PackageTemplate.h"
#include "tools/BankIdentity.h"
#include "tools/FileAccess.h"
#include "tools/ReadBack.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

// A program's bytes as the packing tool meets them: the block with the place of its seal right
// after it, and the loader area between its markers further on.
constexpr std::size_t kBlockAt = 300;
constexpr std::size_t kLoadersAt = kBlockAt + sizeof(SealedPackage) + 40 + 16;

std::string programBytes(const PackageBlock& block) {
    std::string bytes(kBlockAt, 'E');
    bytes.append(reinterpret_cast<const char*>(&block), sizeof block);
    bytes.append(kSealMarker);
    bytes.append(64, '\0');
    bytes.append(40, 'F');
    bytes.append(kLoaderAreaHead);
    for (std::size_t i = 0; i < kLoaderAreaSize; ++i) {
        bytes += static_cast<char>(i * 13);
    }
    bytes.append(kLoaderAreaTail);
    bytes.append(24, 'G');
    return bytes;
}

class PackTool : public ::testing::Test {
protected:
    void SetUp() override {
        // The process id keeps runs of several builds at once out of each other's folders.
        dir = fs::temp_directory_path() /
              ("zelfin-packtool-" + std::to_string(::getpid()) + "-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        auto block = std::make_unique<PackageBlock>();
        writeTemplate(*block);
        exe = dir / "zelfin.exe";
        writeAll(exe, programBytes(*block));
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
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(fs::file_size(exe), programBytes(PackageBlock{}).size());

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
    EXPECT_EQ(shown.find("identity:"), std::string::npos) << shown;

    ASSERT_EQ(run({"check", exe.string(), "BRYMOTE ", "DVDRW RVM-270A  ", "1A05"}), 0);
    EXPECT_EQ(out.str(), "eligible:       1\n"
                         "group:          1 (bank 1, new revision \"1A07\")\n"
                         "up to date:     0\n");
    ASSERT_EQ(run({"check", exe.string(), "BRYMOTE ", "DVDRW RVM-270A  ", "1A08"}), 1);
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
    std::string bytes = programBytes(*block);
    writeAll(exe, bytes);
    EXPECT_EQ(run({"check", exe.string(), "BRYMOTE ", "DVDRW RVM-270A  ", "1A05"}), 1);
    EXPECT_NE(err.str().find("\"No F/W in executable !\""), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");

    const std::string count = "HOW_MANY_BIN=1";
    bytes.replace(kBlockAt + offsetof(PackageBlock, HOW_MANY_BIN), count.size(), count);
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

// check answers with its exit status: 0 eligible, 1 not, 2 a wrong command line or a file that
// is no packed program.
TEST_F(PackTool, ExitStatusesOfCheckAndVersion) {
    ASSERT_EQ(run({"fill", exe.string(), (dir / "demo/package.txt").string()}), 0) << err.str();
    const std::string e = exe.string();
    const struct {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"check", e, "BRYMOTE ", "DVDRW RVM-270A  ", "1A05"}, 0},
        {{"check", e, "BRYMOTE ", "DVDRW RVM-270A  ", "1A08"}, 1},
        {{"check", e, "OTHER   ", "DVDRW RVM-270A  ", "1A05"}, 1},
        {{"check", e, "BRYMOTE", "DVDRW RVM-270A  ", "1A05"}, 2},
        {{"check", e, "BRYMOTE ", "DVDRW RVM-270A  "}, 2},
        {{"check", (dir / "nowhere.exe").string(), "BRYMOTE ", "DVDRW RVM-270A  ", "1A05"}, 2},
        {{"--version"}, 0},
        {{"--version", "extra"}, 2},
        {{"show", "--json"}, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), c.status) << c.args[0] << " " << c.args.back() << ": " << err.str();
    }
    ASSERT_EQ(run({"--version"}), 0);
    EXPECT_TRUE(out.str().starts_with("zelfin-pack ")) << out.str();
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(out.str()[12]))) << out.str();
}

// The document parses as JSON and says what the text says, the seal's digest included.
TEST_F(PackTool, ShowJsonIsOneDocumentOfThePackage) {
    ASSERT_EQ(run({"fill", exe.string(), (dir / "demo/package.txt").string()}), 0) << err.str();
    ASSERT_EQ(run({"show", exe.string()}), 0);
    const std::string label = "package digest (SHA-256 of the block):  ";
    const std::size_t at = out.str().find(label);
    ASSERT_NE(at, std::string::npos);
    const std::string digest = out.str().substr(at + label.size(), 64);

    auto block = std::make_unique<PackageBlock>();
    writeTemplate(*block);
    writeAll(dir / "template.exe", programBytes(*block));
    const struct {
        fs::path file;
        std::string checks; // Python over the document d
    } cases[] = {
        {exe, "d['seal'] == 'intact' and d['packageDigest'] == '" + digest +
                  "' and d['blockOffset'] == 300 and d['banks'][0] == {'bank': 1, 'start': 0, "
                  "'size': 1048576, 'newRevision': '1A07', 'inUse': True, 'problem': None} and "
                  "not d['banks'][1]['inUse'] and d['settings']['WARNING'] == 1 and "
                  "d['slots'][0]['vendor'] == 'BRYMOTE ' and d['image'] == 'filled' and "
                  "d['texts']['DRIVE_NAME'] == 'BRYMOTE DVDRW RVM-270A'"},
        {dir / "template.exe", "d['seal'] == 'none' and d['packageDigest'] is None and "
                               "d['slots'] == [] and d['image'] == 'unfilled'"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(run({"show", "--json", c.file.string()}), 0) << err.str();
        writeAll(dir / "shown.json", out.str());
        const std::string command =
            "python3 -c \"import json,sys; d = json.load(open(sys.argv[1])); "
            "sys.exit(0 if " +
            c.checks + " else 1)\" " + (dir / "shown.json").string();
        EXPECT_EQ(std::system(command.c_str()), 0) << c.file << "\n" << out.str();
    }
}

// One fill names every problem of a description, each on its line, in line order, and none that
// only follows from a line it already refused.
TEST_F(PackTool, FillReportsEveryProblemWithItsLine) {
    writeAll(dir / "demo/many.txt", "APP_TITLE \"fine\"\n"
                                    "WARNING 12\n"
                                    "REBOOT 1 2\n"
                                    "BANK 1 firmware.bin 0 1048576 1A07\n"
                                    "BANK 2 nowhere.bin 0 4096 1A07\n"
                                    "SLOT 1 1 \"\" \"\" \"BRYMOTE\" \"\"\n"
                                    "SLOT 5 1 \"\" \"\" \"\" \"\"\n"
                                    "FOO bar\n"
                                    "CHKDISC x\n"
                                    "SLOT 1 2 \"1A9\" \"1A1\" \"\" \"\"\n"
                                    "INFO_TEXT \"unclosed\n"
                                    "APP_VERSION \"a text longer than the twelve it may hold\"\n");
    const auto before = readAll(exe);
    EXPECT_EQ(run({"fill", exe.string(), (dir / "demo/many.txt").string()}), 1);
    const std::vector<std::string> expected = {
        "line 2: WARNING: \"12\" is not one digit",
        "line 3: REBOOT takes one value",
        "line 5: ",
        "line 6: slot 1 1: vendor \"BRYMOTE\" must be exactly 8 characters",
        "line 7: slot position must be group 1 to 4",
        "line 8: unknown key FOO",
        "line 9: CHKDISC: \"x\" is not one digit",
        "line 10: slot 1 2: from \"1A9\" sorts after to \"1A1\"",
        "line 11: a quoted text is not closed",
        "line 12: APP_VERSION: ",
    };
    std::vector<std::string> errors;
    std::istringstream reported(err.str());
    for (std::string line; std::getline(reported, line);)
        if (line.starts_with("zelfin-pack: error: "))
            errors.push_back(line.substr(20));
    ASSERT_EQ(errors.size(), expected.size()) << err.str();
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(errors[i].starts_with(expected[i])) << errors[i];
    EXPECT_NE(errors[2].find("nowhere.bin"), std::string::npos) << errors[2];
    EXPECT_EQ(readAll(exe), before);
}

// Every unusable file is named with its reason, the description's other errors still show, and
// nothing beyond what a bank can hold is read.
TEST_F(PackTool, RefusesUnusableFilesByNameWithoutReadingThem) {
    const auto before = readAll(exe);
    fs::create_directories(dir / "folder.bin");
    fs::resize_file(dir / "demo/firmware.bin", 1u << 30); // sparse: costs no disk
    const struct {
        std::string bankFile, expected;
    } cases[] = {
        {"folder.bin", "folder.bin: it is a folder, not a file"},
        {"", "bank image file name is empty"},
        {"/dev/zero", "/dev/zero: not a regular file"},
        {"demo/firmware.bin", "firmware.bin is 1073741824 bytes; at most 1048576 can be used"},
        {"nowhere.bin", "nowhere.bin: No such file or directory"},
    };
    for (const auto& c : cases) {
        writeAll(dir / "bad.txt",
                 "HOW_MANY_BIN 1\nBANK 1 \"" + c.bankFile + "\" 0 1048576 \"1A07\"\n");
        EXPECT_EQ(run({"fill", exe.string(), (dir / "bad.txt").string()}), 1) << c.bankFile;
        EXPECT_NE(err.str().find(c.expected), std::string::npos) << err.str();
        EXPECT_NE(err.str().find("HOW_MANY_BIN is not written by hand"), std::string::npos)
            << err.str();
        EXPECT_EQ(readAll(exe), before);
    }
    EXPECT_EQ(run({"fill", dir.string(), (dir / "bad.txt").string()}), 1);
    EXPECT_NE(err.str().find(dir.string() + ": it is a folder, not a file"), std::string::npos)
        << err.str();
    EXPECT_EQ(run({"fill", exe.string(), (dir / "folder.bin").string()}), 1);
    EXPECT_NE(err.str().find("folder.bin: it is a folder"), std::string::npos) << err.str();
    EXPECT_EQ(run({"show", "/dev/zero"}), 1);
    EXPECT_EQ(readAll(exe), before);
}

// Fills racing on one file are serialised: each sees a whole file, and the file ends with the
// package of a run that reported it.
TEST_F(PackTool, ConcurrentFillsLeaveTheFileOfOneThatSucceeded) {
    std::ifstream in(dir / "demo/package.txt");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t title = text.find("APP_TITLE");
    const std::size_t eol = text.find('\n', title);
    for (const char* name : {"A", "B"}) {
        std::string own = text;
        own.replace(title, eol - title, std::string("APP_TITLE \"Title ") + name + "\"");
        writeAll(dir / "demo" / (std::string(name) + ".txt"), own);
    }
    for (int round = 0; round < 8; ++round) {
        int status[2] = {-1, -1};
        std::string said[2];
        auto fillWith = [&](int i) {
            std::ostringstream o, e;
            const std::string desc = (dir / "demo" / (i == 0 ? "A.txt" : "B.txt")).string();
            status[i] = runPackTool({"fill", exe.string(), desc}, o, e);
            said[i] = o.str() + e.str();
        };
        std::thread other(fillWith, 1);
        fillWith(0);
        other.join();
        EXPECT_EQ(status[0], 0) << said[0];
        EXPECT_EQ(status[1], 0) << said[1];
        ASSERT_EQ(run({"show", exe.string()}), 0) << err.str();
        EXPECT_TRUE(out.str().find("\"Title A\"") != std::string::npos ||
                    out.str().find("\"Title B\"") != std::string::npos)
            << out.str();
    }
    for (const auto& entry : fs::directory_iterator(dir)) {
        EXPECT_EQ(entry.path().filename().string().find(".zelfin-pack"), std::string::npos)
            << "temporary file left: " << entry.path();
    }
}

// The reason a replace failed reaches the user. A sticky folder stops another user from
// replacing root's file even though it may write beside it, so this needs root to set up.
TEST_F(PackTool, AFailedReplaceSaysWhy) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the fill as another user";
    }
    fs::permissions(dir, fs::perms::all | fs::perms::sticky_bit);
    const auto before = readAll(exe);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        std::ostringstream o, e;
        int status = 9;
        if (setgid(65534) == 0 && setuid(65534) == 0) {
            status = runPackTool({"fill", exe.string(), (dir / "demo/package.txt").string()}, o, e);
        }
        const std::string said = e.str();
        const ssize_t written = write(pipeFds[1], said.data(), said.size());
        _exit(written < 0 ? 8 : status);
    }
    close(pipeFds[1]);
    std::string said;
    char buffer[512];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        said.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    int raw = 0;
    ASSERT_EQ(waitpid(child, &raw, 0), child);
    EXPECT_EQ(WEXITSTATUS(raw), 1) << said;
    EXPECT_NE(said.find("cannot replace " + exe.string() + ": Operation not permitted"),
              std::string::npos)
        << said;
    EXPECT_EQ(readAll(exe), before);
    for (const auto& entry : fs::directory_iterator(dir)) {
        EXPECT_EQ(entry.path().filename().string().find(".zelfin-pack"), std::string::npos);
    }
}

// The digests written by fill cover the bytes the program carries; one byte changed anywhere in
// them, or in the digests, is reported as damage by show and by check.
TEST_F(PackTool, FillSealsTheBlockAndLoadersAndShowAndCheckReportDamage) {
    ASSERT_EQ(run({"fill", exe.string(), (dir / "demo/package.txt").string()}), 0) << err.str();
    const auto filled = readAll(exe);
    const auto digestOf = [&](std::size_t at, std::size_t size) {
        return hexDigest(
            sha256(std::span(reinterpret_cast<const std::uint8_t*>(filled.data()) + at, size)));
    };
    const std::string blockDigest = digestOf(kBlockAt, sizeof(PackageBlock));
    const std::string loaderDigest = digestOf(kLoadersAt, kLoaderAreaSize);
    ASSERT_EQ(run({"show", exe.string()}), 0) << err.str();
    EXPECT_NE(out.str().find("package digest (SHA-256 of the block):  " + blockDigest + "\n"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("loader area digest (SHA-256):           " + loaderDigest),
              std::string::npos);
    EXPECT_NE(out.str().find("package: intact"), std::string::npos);
    EXPECT_NE(out.str().find("Authenticode signature: none (not a Windows program)"),
              std::string::npos);

    const struct {
        std::size_t at;
        std::string_view said;
    } damages[] = {
        {kBlockAt + 5, "the package block does not match"},
        {kBlockAt + offsetof(PackageBlock, FW_IMAGE) + 999999, "the package block does not match"},
        {kBlockAt + sizeof(PackageBlock) + 16 + 31, "the package block does not match"},
        {kLoadersAt + 20000, "the loader area does not match"},
        {kBlockAt + sizeof(PackageBlock) + 3, "the package has no digest"},
    };
    for (const auto& d : damages) {
        auto bytes = filled;
        bytes[d.at] ^= 0x04;
        writeAll(exe, std::string_view(bytes.data(), bytes.size()));
        const int shown = run({"show", exe.string()});
        const std::string said = out.str() + err.str();
        if (d.at == kBlockAt + sizeof(PackageBlock) + 3) {
            // A broken marker: the tool no longer finds where the digest belongs.
            EXPECT_EQ(shown, 1);
            EXPECT_NE(said.find("no place for the package digest"), std::string::npos) << said;
            continue;
        }
        EXPECT_EQ(shown, 1) << d.at;
        EXPECT_NE(said.find(d.said), std::string::npos) << d.at << ": " << said;
        EXPECT_EQ(run({"check", exe.string(), "BRYMOTE ", "DVDRW RVM-270A  ", "1A05"}), 1);
        EXPECT_NE(err.str().find("damaged"), std::string::npos) << d.at;
        EXPECT_EQ(out.str(), "");
    }
}

// A bank that would leave the drive with a wrong identity is refused, or written with a warning
// when the vendor insists; show and check name the bank either way.
TEST_F(PackTool, RefusesABankWithAWrongIdentityUnlessTold) {
    const std::string demo = (dir / "demo/package.txt").string();
    const auto description = readAll(demo);
    const auto image = readAll(dir / "demo/firmware.bin");
    const auto before = readAll(exe);
    const struct {
        const char* name;
        std::string from, to;  // in the description
        std::size_t damagedAt; // in the image, 0 for none
        std::string finding;
    } cases[] = {
        {"revision", "1048576  \"1A07\"", "1048576  \"1A08\"", 0,
         "line 20: bank 1: the main identity record says revision \"1A07\", but NEW_FW1 "
         "announces \"1A08\""},
        {"boot record", "", "", kBootRecordAt + 1,
         "line 20: bank 1: BOOTCODE 1 rewrites the boot area, but there is no boot identity "
         "record"},
    };
    for (const auto& c : cases) {
        std::string text(description.begin(), description.end());
        if (!c.from.empty())
            text.replace(text.find(c.from), c.from.size(), c.to);
        writeAll(demo, text);
        auto bytes = image;
        if (c.damagedAt != 0)
            bytes[c.damagedAt] ^= 0xFF;
        writeAll(dir / "demo/firmware.bin", std::string_view(bytes.data(), bytes.size()));

        EXPECT_EQ(run({"fill", exe.string(), demo}), 1) << c.name;
        EXPECT_NE(err.str().find("error: " + c.finding), std::string::npos) << err.str();
        EXPECT_NE(err.str().find("--ignore-identity"), std::string::npos) << c.name;
        EXPECT_EQ(readAll(exe), before) << c.name;

        ASSERT_EQ(run({"fill", "--ignore-identity", exe.string(), demo}), 0) << err.str();
        EXPECT_NE(err.str().find("warning: " + c.finding), std::string::npos) << err.str();
        const std::string line = "identity:       " + c.finding.substr(c.finding.find("bank"));
        EXPECT_EQ(run({"show", exe.string()}), 0) << c.name;
        EXPECT_NE(out.str().find(line), std::string::npos) << out.str();
        EXPECT_EQ(run({"check", exe.string(), "BRYMOTE ", "DVDRW RVM-270A  ", "1A05"}), 0);
        EXPECT_NE(out.str().find(line), std::string::npos) << out.str();
        writeAll(exe, std::string_view(before.data(), before.size()));
    }
}

// A certificate table is dropped only from past the package's end; one said to begin inside the
// program would cut it, and the program is left as it was.
TEST_F(PackTool, DropsOnlyASignatureThatLiesPastTheProgram) {
    const std::string plain = [&] {
        const auto unfilled = readAll(exe);
        std::string bytes(unfilled.begin(), unfilled.end());
        const auto put32 = [&](std::size_t at, std::uint32_t v) {
            for (int i = 0; i < 4; ++i)
                bytes[at + i] = static_cast<char>(v >> (8 * i));
        };
        std::fill_n(bytes.begin(), 0xE0, '\0');
        bytes[0] = 'M';
        bytes[1] = 'Z';
        put32(0x3C, 0x40);
        put32(0x40, 0x00004550);
        put32(0x58, 0x10B);   // PE32 optional header, no sections
        put32(0x58 + 92, 16); // directories
        return bytes;
    }();
    const struct {
        std::uint32_t tableAt;
        int status;
    } cases[] = {{288, 1}, {static_cast<std::uint32_t>(plain.size()), 0}};
    for (const auto& c : cases) {
        std::string bytes = plain;
        bytes.resize(std::max<std::size_t>(bytes.size() + 256, c.tableAt), 'S');
        for (int i = 0; i < 4; ++i) {
            bytes[0xD8 + i] = static_cast<char>(c.tableAt >> (8 * i));
            bytes[0xDC + i] = static_cast<char>((bytes.size() - c.tableAt) >> (8 * i));
        }
        writeAll(exe, bytes);
        EXPECT_EQ(
            run({"fill", "--drop-signature", exe.string(), (dir / "demo/package.txt").string()}),
            c.status)
            << err.str();
        if (c.status != 0) {
            EXPECT_NE(err.str().find("(file offset 288, " + std::to_string(bytes.size() - 288) +
                                     " bytes) would begin inside the program"),
                      std::string::npos)
                << err.str();
            EXPECT_NE(err.str().find("left untouched"), std::string::npos);
            EXPECT_EQ(std::string(readAll(exe).data(), bytes.size()), bytes);
            continue;
        }
        EXPECT_EQ(fs::file_size(exe), plain.size());
        EXPECT_NE(out.str().find("Authenticode signature: none\n"), std::string::npos) << out.str();
    }
}

// A copy that reads back other than written never replaces the original: here the disk
// "changes" the written copy before it is read back.
TEST_F(PackTool, ACopyThatReadsBackWrongLeavesTheOriginal) {
    const fs::path filled = dir / "filled.exe";
    fs::copy_file(exe, filled);
    ASSERT_EQ(run({"fill", filled.string(), (dir / "demo/package.txt").string()}), 0) << err.str();
    const auto chars = readAll(filled);
    const std::vector<std::uint8_t> meant(chars.begin(), chars.end());
    const auto before = readAll(exe);
    const struct {
        std::size_t at; // byte flipped; past the end: one byte added
        std::string said;
    } cases[] = {
        {kBlockAt + offsetof(PackageBlock, FW_IMAGE) + 0x61300, "the package block does not match"},
        {kLoadersAt + 7, "the loader area does not match"},
        {kBlockAt - 1, "reads back different from what was written"},
        {meant.size(), "cannot be read back"},
    };
    for (const auto& c : cases) {
        const WrittenCheck damagedOnDisk = [&](const fs::path& written, std::string& error) {
            auto bytes = meant;
            if (c.at < bytes.size())
                bytes[c.at] ^= 0x10;
            else
                bytes.push_back(0);
            writeAll(written,
                     std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
            return readsBackSealed(written, meant, error);
        };
        std::string error;
        EXPECT_FALSE(replaceFile(exe, meant, damagedOnDisk, error)) << c.at;
        EXPECT_NE(error.find(c.said), std::string::npos) << error;
        EXPECT_EQ(readAll(exe), before) << c.at;
    }
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find(".zelfin-pack"), std::string::npos);
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
