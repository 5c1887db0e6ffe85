// zelfin-cli as a person or a script runs it: a packed copy of the built program, as a process,
// on simulated machines described by scenario files.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kOneDrive = "drive D BRYMOTE \"DVDRW RVM-270A\" 1A05 port=1\nfirmware D\n";

struct ProcessResult {
    int status = -1;
    std::string output;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

// A trace's command lines, without its header.
std::vector<std::string> commandLines(const std::string& trace) {
    std::vector<std::string> out = lines(trace);
    std::erase_if(out, [](const std::string& line) { return line.starts_with('#'); });
    return out;
}

// errors: where standard error goes; by default into the output.
ProcessResult run(const std::string& command, const std::string& errors = "2>&1") {
    ProcessResult result;
    std::FILE* pipe = popen((command + " " + errors).c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        result.output += buffer;
    }
    const int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

int countContaining(const std::string& text, const std::string& what) {
    int count = 0;
    for (const std::string& line : lines(text)) {
        count += line.find(what) != std::string::npos ? 1 : 0;
    }
    return count;
}

class CliProcess : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(fs::temp_directory_path() /
                            ("zelfin-cli-test-" + std::to_string(getpid())));
        fs::create_directories(*dir_);
        const std::string pack = ZELFIN_PACK_PATH;
        ASSERT_EQ(run(pack + " make-demo " + dir_->string()).status, 0);
        fs::copy_file(ZELFIN_CLI_PATH, *dir_ / "template", fs::copy_options::overwrite_existing);
        fs::copy_file(ZELFIN_CLI_PATH, *dir_ / "zelfin-cli", fs::copy_options::overwrite_existing);
        ASSERT_EQ(run(pack + " fill " + (*dir_ / "zelfin-cli").string() + " " +
                      (*dir_ / "package.txt").string())
                      .status,
                  0);
        // The same package with a 131,072-byte bank: the download way.
        fs::copy_file(ZELFIN_CLI_PATH, *dir_ / "zelfin-cli-download",
                      fs::copy_options::overwrite_existing);
        ASSERT_EQ(run("sed 's/^BANK 1 \\(.*\\)  0  1048576 /BANK 1 \\1  0  131072 /' " +
                      (*dir_ / "package.txt").string() + " >" + (*dir_ / "download.txt").string())
                      .status,
                  0);
        ASSERT_EQ(run(pack + " fill " + (*dir_ / "zelfin-cli-download").string() + " " +
                      (*dir_ / "download.txt").string())
                      .status,
                  0);
    }
    static void TearDownTestSuite() {
        fs::remove_all(*dir_);
        delete dir_;
    }

    static fs::path path(const std::string& name) { return *dir_ / name; }

    static fs::path scenario(const std::string& name, const std::string& text) {
        std::ofstream(path(name)) << "clock virtual\n" << text;
        return path(name);
    }

    // The packed program on a scenario; standard input is never a terminal here.
    static ProcessResult cli(const std::string& args, const std::string& program = "zelfin-cli") {
        return run(path(program).string() + " " + args + " </dev/null");
    }

    // Standard output alone, with every drive command the simulated drives saw.
    static ProcessResult cliOutput(const std::string& args, std::string& sent) {
        const fs::path record = path("output-sim.txt");
        fs::remove(record);
        const ProcessResult r = run(path("zelfin-cli").string() + " " + args +
                                        " --sim-transcript " + record.string() + " </dev/null",
                                    "2>/dev/null");
        sent = readFile(record);
        return r;
    }

    // Whether the text is JSON for which the Python expression over it, d, holds.
    static bool jsonHolds(const std::string& text, const std::string& expression) {
        std::ofstream(path("doc.json")) << text;
        return run("python3 -c \"import json,sys; d = json.load(open(sys.argv[1])); sys.exit(0 "
                   "if " +
                   expression + " else 1)\" " + path("doc.json").string())
                   .status == 0;
    }

    static fs::path* dir_;
};

fs::path* CliProcess::dir_ = nullptr;

TEST_F(CliProcess, UpdatesTheSimulatedDriveAndReportsItsNewRevision) {
    const fs::path machine = scenario("one.txt", kOneDrive);
    const ProcessResult r = cli("--simulate " + machine.string() + " --yes --update");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("This flash utility only supports BRYMOTE DVDRW RVM-270A drive."),
              std::string::npos);
    EXPECT_NE(r.output.find("  > [0]  1-0-0-0 D:BRYMOTE DVDRW RVM-270A   1A05"), std::string::npos);
    EXPECT_NE(r.output.find("It will be updated from 1A05 to 1A07"), std::string::npos);
    EXPECT_NE(r.output.find("[####################] 100 %"), std::string::npos);
    EXPECT_NE(r.output.find("--- Information ---\nFirmware has been updated successfully !"),
              std::string::npos);
    EXPECT_NE(r.output.find("  > [0]  1-0-0-0 D:BRYMOTE DVDRW RVM-270A   1A07"), std::string::npos);
    // Nobody is there to confirm a restart: the prompt takes Later.
    EXPECT_NE(r.output.find("[Later] (no one at the keyboard)"), std::string::npos);
    EXPECT_NE(r.output.find("now reports revision 1A07"), std::string::npos);
}

TEST_F(CliProcess, ReadBackThatNeverVerifiesFailsWithoutCommitting) {
    const fs::path machine = scenario("readback.txt", kOneDrive + "fault D readback\n");
    const fs::path record = path("readback-sim.txt");
    const ProcessResult r = cli("--simulate " + machine.string() +
                                " --yes --update --sim-transcript " + record.string());
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("--- Error ---\nUnable to flash firmware. Please contact with your "
                            "vendor !"),
              std::string::npos);
    EXPECT_EQ(r.output.find("successfully"), std::string::npos);
    EXPECT_NE(r.output.find("now reports revision 1A05"), std::string::npos);
    const std::string sent = readFile(record);
    EXPECT_EQ(countContaining(sent, "3B 05 01 00 00 00 00 00 00 A0"), 0) << "commit sent";
    // Three passes, each stopping at piece 100: 101 pieces written in each.
    EXPECT_EQ(countContaining(sent, "3C 01 01"), 3 * 101);
}

// What the drive does around its commit, and what the run must then say: the verdict is what
// the drive reports after the run, and nothing it did not give back right is committed.
TEST_F(CliProcess, TheResultIsWhatTheDriveReportsAfterTheRun) {
    struct Case {
        const char* name;
        std::string machine;
        const char* program;
        int status;
        int commits; // commands that commit or end a download
        const char* reports;
    };
    const std::string upToDate = "drive D BRYMOTE \"DVDRW RVM-270A\" 1A07 port=1\n"
                                 "firmware D revision=1A07\n";
    const Case cases[] = {
        {"reflashed, then never answers", upToDate + "fault D gone-after-commit\n", "zelfin-cli", 1,
         1, nullptr},
        {"downloaded, then never answers", kOneDrive + "fault D gone-after-commit\n",
         "zelfin-cli-download", 1, 1, nullptr},
        {"NOT READY for 20 s after its restart", kOneDrive + "fault D not-ready-after-commit 20\n",
         "zelfin-cli", 0, 1, "1A07"},
        {"silent for 20 s after its restart", kOneDrive + "fault D silent-after-commit 20\n",
         "zelfin-cli", 0, 1, "1A07"},
        {"programs in the background for 15 s", kOneDrive + "fault D background-commit 15\n",
         "zelfin-cli", 0, 1, "1A07"},
        {"drops a piece's WRITE BUFFER", kOneDrive + "fault D drop-write 40\n", "zelfin-cli", 1, 0,
         "1A05"},
        {"sends no data for a piece", kOneDrive + "fault D short-read 40\n", "zelfin-cli", 1, 0,
         "1A05"},
        {"descriptor-format sense", kOneDrive + "fault D descriptor-sense\n", "zelfin-cli", 0, 1,
         "1A07"},
    };
    for (const Case& c : cases) {
        const fs::path machine = scenario("truth.txt", c.machine);
        const fs::path record = path("truth-sim.txt");
        const ProcessResult r = cli("--simulate " + machine.string() +
                                        " --yes --update --sim-transcript " + record.string(),
                                    c.program);
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.output;
        EXPECT_EQ(r.output.find("successfully") != std::string::npos, c.status == 0) << c.name;
        EXPECT_EQ(r.output.find("Unable to flash firmware.") != std::string::npos, c.status == 1)
            << c.name;
        const std::string sent = readFile(record);
        EXPECT_EQ(countContaining(sent, "3B 05 01 00 00 00 00 00 00 A0") +
                      countContaining(sent, "F2 04"),
                  c.commits)
            << c.name;
        if (c.reports != nullptr) {
            EXPECT_NE(r.output.find(std::string("now reports revision ") + c.reports),
                      std::string::npos)
                << c.name;
        }
    }
}

TEST_F(CliProcess, DeclinedNoticeEndsBeforeAnythingIsWritten) {
    const fs::path machine = scenario("declined.txt", kOneDrive);
    const fs::path trace = path("declined-trace.txt");
    const ProcessResult r =
        cli("--simulate " + machine.string() + " --answers n --update --trace " + trace.string());
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_NE(r.output.find("[Yes/No] No (answered in advance)"), std::string::npos);
    EXPECT_EQ(r.output.find("== Flash Program"), std::string::npos) << "window shown";
    const std::string sent = readFile(trace);
    EXPECT_EQ(countContaining(sent, "3B 05 01"), 0);
    EXPECT_GT(countContaining(sent, "12 00 00 00 60"), 0) << "the scan still identified drives";
}

TEST_F(CliProcess, WithoutATerminalOrAnswersItRefusesAndTouchesNoDrive) {
    const fs::path machine = scenario("refuse.txt", kOneDrive);
    const fs::path trace = path("refuse-trace.txt");
    const ProcessResult r =
        cli("--simulate " + machine.string() + " --update --trace " + trace.string());
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("refusing to guess"), std::string::npos);
    EXPECT_FALSE(fs::exists(trace) && fs::file_size(trace) > 0);
}

TEST_F(CliProcess, TraceAtTheSeamMatchesTheDrivesOwnRecordLineForLine) {
    const fs::path machine =
        scenario("trace.txt", kOneDrive + "drive E OTHER \"DVD-ROM X16\" 2.10 other port=0\n");
    const fs::path trace = path("trace-seam.txt");
    const fs::path record = path("trace-sim.txt");
    const ProcessResult r =
        cli("--simulate " + machine.string() + " --yes --update --drive 1 --trace " +
            trace.string() + " --sim-transcript " + record.string());
    ASSERT_EQ(r.status, 0) << r.output;
    const auto seam = commandLines(readFile(trace));
    // The drives' own records are kept per drive; the seam sees one sequence. Same set of lines,
    // and each drive's lines in the same order.
    auto sorted = [](std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    const auto drives = lines(readFile(record));
    ASSERT_GT(seam.size(), 512u);
    EXPECT_EQ(sorted(seam), sorted(drives));
    std::vector<std::string> writes;
    for (const std::string& line : seam) {
        if (line.rfind("3B", 0) == 0 || line.rfind("3C", 0) == 0) {
            writes.push_back(line);
        }
    }
    std::vector<std::string> driveWrites;
    for (const std::string& line : drives) {
        if (line.rfind("3B", 0) == 0 || line.rfind("3C", 0) == 0) {
            driveWrites.push_back(line);
        }
    }
    EXPECT_EQ(writes, driveWrites);

    // With one drive there is one sequence on both sides: below its header the trace is the
    // drive's own record, line for line.
    const fs::path single = scenario("trace-one.txt", kOneDrive);
    const ProcessResult one = cli("--simulate " + single.string() + " --yes --update --trace " +
                                  trace.string() + " --sim-transcript " + record.string());
    ASSERT_EQ(one.status, 0) << one.output;
    EXPECT_EQ(commandLines(readFile(trace)), lines(readFile(record)));
    EXPECT_GT(lines(readFile(trace)).size(), 512u);
}

// The disc check asks someone to take the disc out; with nobody there it must stop, not loop.
TEST_F(CliProcess, DiscInTheDriveWithNobodyThereStopsBeforeWriting) {
    std::string description = readFile(path("package.txt"));
    const std::size_t at = description.find("CHKDISC    0");
    ASSERT_NE(at, std::string::npos);
    description.replace(at, 12, "CHKDISC    1");
    std::ofstream(path("chkdisc.txt")) << description;
    fs::copy_file(path("template"), path("zelfin-cli-chkdisc"),
                  fs::copy_options::overwrite_existing);
    ASSERT_EQ(run(std::string(ZELFIN_PACK_PATH) + " fill " + path("zelfin-cli-chkdisc").string() +
                  " " + path("chkdisc.txt").string())
                  .status,
              0);
    for (const char* disc : {"present", "locked"}) {
        const fs::path machine = scenario(
            "disc.txt", "drive D BRYMOTE \"DVDRW RVM-270A\" 1A05 port=1 disc=" + std::string(disc) +
                            "\nfirmware D\n");
        const fs::path trace = path("disc-trace.txt");
        const ProcessResult r =
            cli("--simulate " + machine.string() + " --yes --update --trace " + trace.string(),
                "zelfin-cli-chkdisc");
        EXPECT_EQ(r.status, 2) << disc << "\n" << r.output;
        EXPECT_EQ(countContaining(r.output, "--- Warning ---"), 2) << "the notice, then one disc"
                                                                   << " prompt: " << disc;
        EXPECT_NE(r.output.find("no one can answer"), std::string::npos) << disc;
        const std::string sent = readFile(trace);
        EXPECT_EQ(countContaining(sent, "3B 05 01"), 0) << disc;
        EXPECT_EQ(countContaining(sent, "1B 00 00 00 03"), 0) << "tray pulled in with the disc";
    }
}

TEST_F(CliProcess, ChoosingADriveThatIsNotListedIsAUsageErrorAndUpdatesNothing) {
    const fs::path machine = scenario("nodrive.txt", kOneDrive);
    const ProcessResult r = cli("--simulate " + machine.string() + " --yes --drive 4 --update");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("there is no drive 4 in the list"), std::string::npos);
    EXPECT_NE(r.output.find("now reports revision 1A05"), std::string::npos);
}

// A failed run says on standard error, per drive, where and how it failed; the trace begins with
// what the run found and left, and its result.
TEST_F(CliProcess, AFailedRunNamesItsStepAndTheTraceBeginsWithTheRun) {
    const fs::path machine = scenario("failing.txt", kOneDrive + "fault D write-fails 7\n");
    const fs::path trace = path("failing-trace.txt");
    const ProcessResult r = run(path("zelfin-cli").string() + " --simulate " + machine.string() +
                                    " --yes --update --trace " + trace.string() + " </dev/null",
                                "2>&1 >/dev/null");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "zelfin-cli: D: (BRYMOTE DVDRW RVM-270A, 1-0-0-0): programming failed at "
                        "piece 7 (offset 0x7000) of pass 3, WRITE BUFFER: check condition, sense "
                        "4/44/00 HARDWARE ERROR, INTERNAL TARGET FAILURE\n");
    const std::vector<std::string> traced = lines(readFile(trace));
    ASSERT_GT(traced.size(), 8u);
    EXPECT_TRUE(traced[0].starts_with("# zelfin-cli ")) << traced[0];
    EXPECT_EQ(traced[4], "# drive 0 before: 1-0-0-0 D:BRYMOTE DVDRW RVM-270A   1A05");
    EXPECT_EQ(traced[6], "# result: failed");
    EXPECT_TRUE(traced[7].starts_with("# failed: D: ")) << traced[7];
    EXPECT_FALSE(traced[8].starts_with("#"));
}

TEST_F(CliProcess, UnfilledTemplateSaysItHoldsNoFirmwareAndTouchesNoDrive) {
    const fs::path trace = path("template-trace.txt");
    const ProcessResult r = cli("--simulate --yes --trace " + trace.string(), "template");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("--- Error ---\nNo F/W in executable !"), std::string::npos);
    EXPECT_TRUE(commandLines(readFile(trace)).empty());
}

// A copy damaged after packing, in its package or its loaders, stops at start-up and sends
// nothing; the undamaged copy beside it still updates.
TEST_F(CliProcess, ADamagedCopyStopsAtStartUpAndSendsNothing) {
    const ProcessResult shown =
        run(std::string(ZELFIN_PACK_PATH) + " show " + path("zelfin-cli").string());
    ASSERT_EQ(shown.status, 0) << shown.output;
    const auto offsetAfter = [&](const std::string& label) {
        const std::size_t at = shown.output.find(label);
        return at == std::string::npos ? 0 : std::stoull(shown.output.substr(at + label.size()));
    };
    const std::size_t block = offsetAfter("package block at file offset ");
    const std::size_t loaders = offsetAfter("loader area at file offset ");
    ASSERT_GT(block, 0u);
    ASSERT_GT(loaders, 0u);
    const fs::path machine = scenario("damaged.txt", kOneDrive);
    for (const std::size_t at : {block + 49, block + 2123 + 500000, loaders + 1000}) {
        fs::copy_file(path("zelfin-cli"), path("damaged"), fs::copy_options::overwrite_existing);
        std::fstream file(path("damaged"), std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(static_cast<std::streamoff>(at));
        const char byte = static_cast<char>(file.get() ^ 0x20);
        file.seekp(static_cast<std::streamoff>(at));
        file.put(byte);
        file.close();
        const fs::path trace = path("damaged-trace.txt");
        const ProcessResult r =
            cli("--simulate " + machine.string() + " --yes --update --trace " + trace.string(),
                "damaged");
        EXPECT_EQ(r.status, 1) << at << ": " << r.output;
        EXPECT_NE(r.output.find("--- Error ---\nThis program is damaged"), std::string::npos)
            << at << ": " << r.output;
        EXPECT_TRUE(commandLines(readFile(trace)).empty()) << at;
    }
    EXPECT_EQ(cli("--simulate " + machine.string() + " --yes --update").status, 0);
}

TEST_F(CliProcess, RefusesWhatItCannotUse) {
#ifndef __linux__
    EXPECT_EQ(cli("--yes").status, 2) << "no real platform in this build";
    EXPECT_NE(cli("--yes").output.find("--simulate"), std::string::npos);
#endif // on Linux it scans the machine's drives: scripts/qemu-e2e.sh runs that in a guest
    EXPECT_EQ(cli("--simulate --yes --drive x").status, 2);
    EXPECT_EQ(cli("--bogus").status, 2);
    const fs::path broken = scenario("broken.txt", "drive D\n");
    const ProcessResult r = cli("--simulate " + broken.string() + " --yes");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("scenario line 2"), std::string::npos) << r.output;

    // Checked before any drive is touched, so a finished update cannot turn into a failure.
    const fs::path machine = scenario("unwritable.txt", kOneDrive);
    const fs::path trace = path("unwritable-trace.txt");
    const ProcessResult unwritable =
        cli("--simulate " + machine.string() + " --yes --update --trace " + trace.string() +
            " --sim-transcript " + path("no-such-folder/sim.txt").string());
    EXPECT_EQ(unwritable.status, 2) << unwritable.output;
    EXPECT_NE(unwritable.output.find("cannot write the simulator transcript"), std::string::npos);
    EXPECT_TRUE(commandLines(readFile(trace)).empty());
}

// Signals and a closed output pipe in the middle of an update at the real-time clock: all the
// runs at once, each as long as a real one. A request to end is held until the run has ended; a
// request to suspend too, and then the program suspends instead of ending. A signal the program
// was started to ignore changes nothing.
TEST_F(CliProcess, SignalsAndAClosedPipeDuringARunWaitForItsEnd) {
    std::ofstream(path("real.txt")) << "clock real\n" << kOneDrive;
    const std::string program = path("zelfin-cli").string();
    auto args = [&](const std::string& name) {
        return "--simulate " + path("real.txt").string() + " --yes --update --sim-transcript " +
               path(name + "-sim.txt").string();
    };
    enum class Then { Ends, Suspends, GoesOn };
    struct Case {
        int signal;
        const char* name;
        Then then = Then::Ends;
        pid_t pid = -1;
    };
    Case cases[] = {{SIGINT, "sigint"},
                    {SIGTERM, "sigterm"},
                    {SIGHUP, "sighup"},
                    {SIGQUIT, "sigquit"},
                    {SIGTSTP, "sigtstp", Then::Suspends},
                    {SIGQUIT, "ignored-sigquit", Then::GoesOn}};
    for (Case& c : cases) {
        const std::string ignore =
            c.then == Then::GoesOn ? "trap '' " + std::to_string(c.signal) + "; " : "";
        const std::string command = ignore + "exec " + program + " " + args(c.name) +
                                    " </dev/null >" +
                                    path(std::string(c.name) + "-out.txt").string() + " 2>&1";
        c.pid = fork();
        if (c.pid == 0) {
            // A group of its own with its parent outside it, so a stop is not discarded as it is
            // in an orphaned group.
            setpgid(0, 0);
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_GT(c.pid, 0);
    }
    // `zelfin-cli ... | head -c 100`: the reader goes after the first 100 bytes.
    const pid_t piped = fork();
    if (piped == 0) {
        const std::string command = program + " " + args("pipe") + " </dev/null | head -c 100";
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (Case& c : cases) {
        // The signal comes once the bar has begun to move: the drive is being written.
        const fs::path out = path(std::string(c.name) + "-out.txt");
        for (int i = 0; i < 400 && readFile(out).find("] 5 %") == std::string::npos; ++i) {
            usleep(50'000);
        }
        kill(c.pid, c.signal);
    }
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path out = path(std::string(c.name) + "-out.txt");
        int raw = 0;
        ASSERT_EQ(waitpid(c.pid, &raw, WUNTRACED), c.pid);
        EXPECT_EQ(WIFSTOPPED(raw), c.then == Then::Suspends) << raw;
        if (WIFSTOPPED(raw)) {
            // Stopped once the run has ended, not in its middle: the bar is full, and the
            // result is still to come.
            const std::string atStop = readFile(out);
            EXPECT_EQ(WSTOPSIG(raw), SIGTSTP);
            EXPECT_NE(atStop.find("] 100 %"), std::string::npos) << atStop;
            EXPECT_EQ(atStop.find("updated successfully"), std::string::npos) << atStop;
            kill(c.pid, SIGCONT);
            ASSERT_EQ(waitpid(c.pid, &raw, 0), c.pid);
        }
        const std::string output = readFile(out);
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << raw << "\n" << output;
        EXPECT_EQ(countContaining(output, "Writing the drive: the program will stop once that is "
                                          "safe."),
                  c.then == Then::Ends ? 1 : 0)
            << output;
        EXPECT_NE(output.find("Firmware has been updated successfully !"), std::string::npos);
        // A request to end ends it after the result instead of offering the restart.
        EXPECT_EQ(output.find("Reboot") == std::string::npos, c.then == Then::Ends) << output;
        EXPECT_EQ(countContaining(readFile(path(std::string(c.name) + "-sim.txt")),
                                  "3B 05 01 00 00 00 00 00 00 A0"),
                  1);
    }
    ASSERT_EQ(waitpid(piped, nullptr, 0), piped);
    EXPECT_EQ(countContaining(readFile(path("pipe-sim.txt")), "3B 05 01 00 00 00 00 00 00 A0"), 1);
}

// Options as --opt value and --opt=value alike; a wrong command line is exit status 2 before any
// drive is touched.
TEST_F(CliProcess, OptionsTakeTheirValuesEitherWay) {
    const std::string two = scenario("opts.txt", kOneDrive + "drive E OTHER \"DVD-ROM X16\" 2.10 "
                                                             "other port=0\n")
                                .string();
    const std::string trace = path("opts-trace.txt").string();
    const struct {
        std::string args;
        int status;
        const char* says;
    } cases[] = {
        {"--simulate=" + two + " --yes --update --drive=1", 0, "successfully"},
        {"--simulate=" + two + " --answers=n --update", 3, "No (answered in advance)"},
        {"--simulate=" + two + " --yes --update --drive=5", 2, "there is no drive 5"},
        {"--simulate=" + two + " --yes --drive=x", 2, "--drive takes a list index"},
        {"--simulate=" + two + " --yes=1", 2, "--yes takes no value"},
        {"--simulate=" + two + " --yes --trace=", 2, "--trace= needs a value"},
        {"--simulate=" + two + " --list --update", 2, "does not go with --update"},
    };
    for (const auto& c : cases) {
        fs::remove(trace);
        const ProcessResult r = cli(c.args + " --trace=" + trace);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
        // Only the run that was to update wrote a drive, traced where --trace= said.
        EXPECT_EQ(fs::exists(trace) && countContaining(readFile(trace), "3B 05 01") > 0,
                  c.status == 0)
            << c.args;
    }
}

TEST_F(CliProcess, VersionNamesTheProgramAndItsPackage) {
    const ProcessResult shown =
        run(std::string(ZELFIN_PACK_PATH) + " show " + path("zelfin-cli").string());
    const std::string label = "package digest (SHA-256 of the block):  ";
    ASSERT_NE(shown.output.find(label), std::string::npos);
    const std::string digest = shown.output.substr(shown.output.find(label) + label.size(), 64);
    const struct {
        const char* program;
        std::vector<std::string> says;
    } cases[] = {
        {"zelfin-cli",
         {"zelfin-cli 0.", "package: Flash Program for BRYMOTE DVDRW RVM-270A\n",
          "bank 1 new revision: 1A07\n", "package digest: " + digest + "\n"}},
        {"template", {"zelfin-cli 0.", "package: none (no firmware packed)\n"}},
    };
    for (const auto& c : cases) {
        const ProcessResult r = cli("--version", c.program);
        EXPECT_EQ(r.status, 0) << r.output;
        for (const std::string& says : c.says) {
            EXPECT_NE(r.output.find(says), std::string::npos) << c.program << "\n" << r.output;
        }
    }
}

// --list asks nothing and changes nothing; its status says whether a drive can be updated.
TEST_F(CliProcess, ListOnlyReadsAndItsStatusIsWhetherADriveCanBeUpdated) {
    const std::string other = "drive E OTHER \"DVD-ROM X16\" 2.10 other port=0\n";
    const struct {
        const char* name;
        std::string machine;
        const char* program;
        int status;
        const char* says;
    } cases[] = {
        {"eligible", kOneDrive + other, "zelfin-cli", 0,
         "1-0-0-0 D:BRYMOTE DVDRW RVM-270A   1A05  eligible (bank 1, new revision 1A07)"},
        {"none eligible", other, "zelfin-cli", 1, "no drive can be updated"},
        {"unfilled", kOneDrive, "template", 1, "No F/W in executable !"},
    };
    for (const auto& c : cases) {
        const fs::path machine = scenario("list.txt", c.machine);
        const fs::path record = path("list-sim.txt");
        const ProcessResult r =
            cli("--simulate " + machine.string() + " --list --sim-transcript " + record.string(),
                c.program);
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.name << "\n" << r.output;
        EXPECT_EQ(r.output.find("Yes/No"), std::string::npos) << c.name;
        for (const std::string& line : lines(readFile(record))) {
            for (const char* changing : {"3B", "F2", "1B"}) {
                EXPECT_FALSE(line.starts_with(changing)) << c.name << ": " << line;
            }
        }
    }
}

// Standard output is one JSON document alone; the drives, their verdicts and each job's result.
TEST_F(CliProcess, JsonIsTheOnlyOutputAndCarriesVerdictsAndResults) {
    const std::string one = scenario("json.txt", kOneDrive).string();
    const std::string failing =
        scenario("json-fail.txt", kOneDrive + "fault D readback\n").string();
    const std::string drive0 = "d['drives'][0]";
    const struct {
        std::string args;
        int status;
        std::string holds;
    } cases[] = {
        {"--simulate " + one + " --list --json", 0,
         "d['mode'] == 'list' and d['error'] is None and len(d['drives']) == 1 and " + drive0 +
             " == {'index': 0, 'address': '1-0-0-0', 'root': 'D:', 'vendor': 'BRYMOTE ', "
             "'product': 'DVDRW RVM-270A  ', 'revision': '1A05', 'eligible': True, "
             "'upToDate': False, 'bank': 1, 'newRevision': '1A07'}"},
        {"--simulate " + one + " --yes --update --json", 0,
         "d['mode'] == 'update' and d['outcome'] == 'updated' and " + drive0 +
             "['revision'] == '1A07' and " + drive0 + "['result'] == 'updated'"},
        {"--simulate " + failing + " --yes --update --json", 1,
         "d['outcome'] == 'failed' and d['error'].startswith('Unable to flash') and " + drive0 +
             "['result'] == 'failed' and len(" + drive0 + "['reason']) > 0"},
        {"--simulate " + one + " --answers n --update --json", 3,
         "d['outcome'] == 'declined' and " + drive0 + "['result'] is None"},
    };
    for (const auto& c : cases) {
        std::string sent;
        const ProcessResult r = cliOutput(c.args, sent);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.output;
        EXPECT_TRUE(jsonHolds(r.output, c.holds)) << c.args << "\n" << r.output;
    }
}

} // namespace
