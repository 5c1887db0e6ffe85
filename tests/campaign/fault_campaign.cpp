// The fault campaign: whole runs of zelfin-cli's program on simulated machines, judged by what
// the simulated drives hold afterwards, never by what the program says. It sweeps package
// shapes, run modes and drive personalities, puts one fault at every command of the plain runs,
// and adds a seeded sample of runs with two faults. Every failing run is printed as the package
// description and scenario that reproduce it with zelfin-cli --simulate.
//   zelfin_fault_campaign [--sample N] [--seed S]   N: try every N-th case (sanitizer builds)

#include "CampaignRun.h"
#include "Oracle.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace zelfin::campaign;
using zelfin::sim::DriveFault;
using zelfin::sim::Sense;
using Kind = DriveFault::Kind;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kPieces = 256;
constexpr std::size_t kMatrixSamples = 28;
constexpr std::size_t kLeastRuns = 20000;
constexpr int kRunLimitSeconds = 300; // real time; a run that takes longer is stuck

// One command of a plain run: the drive, its opcode, and which of its commands with that
// opcode it was.
struct CommandAt {
    char letter;
    uint8_t opcode;
    uint32_t occurrence;
};

std::vector<CommandAt> commandsOf(const RunResult& run) {
    std::vector<CommandAt> commands;
    for (const DriveTruth& d : run.drives) {
        std::map<uint8_t, uint32_t> seen;
        for (const auto& r : d.transcript) {
            commands.push_back({d.letter, r.cdb[0], ++seen[r.cdb[0]]});
        }
    }
    return commands;
}

DriveFault commandFault(const CommandAt& at, std::size_t variant) {
    static const Sense kSenses[] = {
        {0x06, 0x29, 0x00}, {0x02, 0x04, 0x01}, {0x05, 0x24, 0x00}, {0x04, 0x44, 0x00}};
    static const Kind kOthers[] = {Kind::NoSense, Kind::Transport, Kind::Hang, Kind::Vanish};
    DriveFault f;
    f.letter = at.letter;
    f.opcode = at.opcode;
    f.occurrence = at.occurrence;
    if (variant < std::size(kSenses)) {
        f.kind = Kind::Sense;
        f.sense = kSenses[variant];
    } else {
        f.kind = kOthers[(variant - std::size(kSenses)) % std::size(kOthers)];
    }
    return f;
}
constexpr std::size_t kCommandFaultVariants = 8;

DriveFault pieceFault(Kind kind, char letter, uint32_t piece) {
    DriveFault f;
    f.letter = letter;
    f.kind = kind;
    if (kind == Kind::PowerLoss) {
        f.sector = piece;
    } else {
        f.piece = piece;
        if (kind == Kind::ReadBack) {
            f.pass = 1;
        }
    }
    return f;
}

// The drive behaviours every target drive of a matrix run shows.
std::vector<std::vector<DriveFault>> personalities(const std::vector<char>& drives) {
    const char* words[] = {nullptr,
                           "gone-after-commit",
                           "not-ready-after-commit 20",
                           "silent-after-commit 20",
                           "background-commit 15",
                           "attention 29/01",
                           "attention 28/00",
                           "attention 3F/01",
                           "descriptor-sense"};
    std::vector<std::vector<DriveFault>> all;
    for (const char* word : words) {
        std::vector<DriveFault> faults;
        for (char letter : drives) {
            if (word != nullptr) {
                faults.push_back(DriveFault::Parse("fault " + std::string(1, letter) + " " + word));
            }
        }
        all.push_back(faults);
    }
    return all;
}

std::string causeOf(const RunConfig& config) {
    std::string cause = std::string(shapeName(config.shape)) + ", " + modeName(config.mode) + ":";
    if (config.faults.empty()) {
        cause += " no fault";
    }
    for (const DriveFault& f : config.faults) {
        std::string line = f.Format();
        // "fault D word ..." without the drive and the numbers that place it.
        line = line.substr(line.find(' ', 6) + 1);
        cause += " " + line.substr(0, line.find(' '));
    }
    return cause;
}

class Tally {
public:
    bool verbose = false; // every run's drives, not only a failing one's

    void add(const RunConfig& config, const RunResult& run, const Verdict& v) {
        std::lock_guard lock(mutex_);
        ++runs_;
        falseSuccesses_ += v.falseSuccess;
        unverified_ += v.unverifiedCommit;
        falseFailures_ += v.falseFailure;
        bricked_ += v.bricked;
        if (v.falseFailure) {
            note(falseFailureCauses_[causeOf(config)], config);
        }
        if (v.bricked) {
            note(brickedCauses_[causeOf(config)], config);
        }
        std::vector<std::string> why = v.broken;
        if (v.falseSuccess) {
            why.push_back("FALSE SUCCESS: success reported, but a drive does not run its bank");
        }
        if (v.unverifiedCommit) {
            why.push_back("UNVERIFIED COMMIT: a piece was committed without coming back right");
        }
        if (v.bricked) {
            why.push_back("BRICKED: a drive no longer answers");
        }
        if (!why.empty() || verbose) {
            failing_ += why.empty() ? 0 : 1;
            if (failing_ <= 10 || verbose) {
                std::printf("%s (%s, exit %d, %.0f s simulated):\n",
                            why.empty() ? "RUN" : "FAILING RUN", causeOf(config).c_str(),
                            run.exitStatus, run.virtualSeconds);
                for (const std::string& line : why) {
                    std::printf("  %s\n", line.c_str());
                }
                for (const DriveTruth& d : run.drives) {
                    std::printf("  drive %c:%s reports %s, %s, runs its bank: %s, commits %u\n",
                                d.letter, d.target ? " to update," : "", d.revision.c_str(),
                                d.answers ? "answers" : "answers no more",
                                d.runsBank ? "yes" : "no", d.commits);
                }
                std::printf("%s\n", reproduction(config).c_str());
            }
        }
    }
    void broken(const std::string& what, const RunConfig& config) {
        std::lock_guard lock(mutex_);
        ++failing_;
        std::printf("FAILING RUN: %s\n%s\n", what.c_str(), reproduction(config).c_str());
    }
    std::size_t runs() const { return runs_; }
    bool passed() const { return failing_ == 0; }
    void report() const {
        for (const auto& [cause, seen] : falseFailureCauses_) {
            std::printf("false failure x%zu: %s (as in: %s)\n", seen.count, cause.c_str(),
                        seen.example.c_str());
        }
        for (const auto& [cause, seen] : brickedCauses_) {
            std::printf("bricked x%zu: %s (as in: %s)\n", seen.count, cause.c_str(),
                        seen.example.c_str());
        }
        std::printf("campaign: %zu runs, %zu false successes, %zu unverified commits, %zu false "
                    "failures, %zu bricked\n",
                    runs_, falseSuccesses_, unverified_, falseFailures_, bricked_);
    }

private:
    struct Seen {
        std::size_t count = 0;
        std::string example; // the first run's fault lines
    };
    static void note(Seen& seen, const RunConfig& config) {
        if (seen.count++ == 0) {
            for (const DriveFault& f : config.faults) {
                seen.example += (seen.example.empty() ? "" : "; ") + f.Format();
            }
        }
    }

    std::mutex mutex_;
    std::size_t runs_ = 0, falseSuccesses_ = 0, unverified_ = 0, falseFailures_ = 0, bricked_ = 0;
    std::size_t failing_ = 0;
    std::map<std::string, Seen> falseFailureCauses_, brickedCauses_;
};

// Runs tasks on every core; a watchdog ends the campaign when one run is stuck.
class Pool {
public:
    using Task = std::function<void()>;
    void add(Task task) { tasks_.push_back(std::move(task)); }
    void run() {
        const unsigned workers = std::max(1u, std::thread::hardware_concurrency());
        std::vector<std::thread> threads;
        std::atomic<std::size_t> next{0};
        for (unsigned w = 0; w < workers; ++w) {
            threads.emplace_back([&] {
                for (std::size_t i; (i = next++) < tasks_.size();) {
                    tasks_[i]();
                }
            });
        }
        for (std::thread& t : threads) {
            t.join();
        }
        tasks_.clear();
    }

private:
    std::vector<Task> tasks_;
};

struct Campaign {
    Tally tally;
    std::size_t sample = 1;

    RunResult runAndJudge(const RunConfig& config, bool keep = false) {
        const auto started = Clock::now();
        zelfin::sim::Scenario machine = makeMachine(config);
        RunResult run = runOn(machine, config, keep);
        tally.add(config, run, judge(config, run));
        if (Clock::now() - started > std::chrono::seconds(kRunLimitSeconds)) {
            tally.broken("a run took more than " + std::to_string(kRunLimitSeconds) +
                             " s of real time",
                         config);
        }
        if (hasPowerLoss(config) && run.ending != zelfin::terminal::Ending::Success) {
            again(machine, config, config.faults.size() == 1);
        }
        return run;
    }

    static bool hasPowerLoss(const RunConfig& config) {
        return std::any_of(config.faults.begin(), config.faults.end(),
                           [](const DriveFault& f) { return f.kind == Kind::PowerLoss; });
    }

    // After power went during the commit, the user starts the program again: the drive, found
    // by its boot code, must take the update, unless the boot code itself was lost.
    // With other faults still armed, the next run is only judged, not required to succeed.
    void again(zelfin::sim::Scenario& machine, const RunConfig& config, bool mustRecover) {
        // Nobody starts it again within the same minute.
        machine.machine->AdvanceClock(60.0);
        RunResult second = runOn(machine, config, false);
        tally.add(config, second, judge(config, second));
        const DriveTruth& target = second.drives.front();
        if (mustRecover && target.answers && second.ending != zelfin::terminal::Ending::Success) {
            tally.broken("after power was lost in the commit, the next run did not update the "
                         "drive",
                         config);
        }
    }

    // One fault at every command of the plain run, of every kind, and at every piece.
    void sweep(Pool& pool, Shape shape) {
        const RunConfig plain{shape, Mode::Manual, {}};
        const RunResult clean = runAndJudge(plain, true);
        const std::vector<CommandAt> commands = commandsOf(clean);
        for (std::size_t i = 0; i < commands.size(); i += sample) {
            pool.add([this, plain, at = commands[i]] {
                for (std::size_t v = 0; v < kCommandFaultVariants; ++v) {
                    RunConfig c = plain;
                    c.faults = {commandFault(at, v)};
                    runAndJudge(c);
                }
            });
        }
        const bool download = shape == Shape::DownloadBank;
        for (uint32_t piece = 0; piece < kPieces; piece += static_cast<uint32_t>(sample)) {
            pool.add([this, plain, piece, download] {
                for (Kind kind : {Kind::ReadBack, Kind::DropWrite, Kind::ShortRead, Kind::Residual,
                                  Kind::PowerLoss}) {
                    if (download && kind != Kind::PowerLoss) {
                        continue; // the download sends no READ BUFFER and keeps no staging
                    }
                    RunConfig c = plain;
                    c.faults = {pieceFault(kind, kTarget, piece)};
                    runAndJudge(c);
                }
            });
        }
    }

    // Every shape, mode and personality: the plain run and faults at a sample of its commands.
    void matrix(Pool& pool, std::vector<std::pair<RunConfig, std::vector<CommandAt>>>& plains,
                std::mutex& plainsMutex) {
        // Sampled builds keep every shape, mode and personality, but not every combination.
        const std::size_t every = (sample + 7) / 8;
        std::size_t index = 0;
        for (Shape shape : kShapes) {
            for (Mode mode : kModes) {
                for (const auto& personality : personalities(targets(mode))) {
                    if (index++ % every != 0) {
                        continue;
                    }
                    pool.add([&, config = RunConfig{shape, mode, personality}] {
                        const std::vector<CommandAt> commands =
                            commandsOf(runAndJudge(config, true));
                        {
                            std::lock_guard lock(plainsMutex);
                            plains.emplace_back(config, commands);
                        }
                        const std::size_t samples =
                            std::max<std::size_t>(1, kMatrixSamples / sample);
                        const std::size_t step =
                            std::max<std::size_t>(1, commands.size() / samples);
                        for (std::size_t i = 0, n = 0; i < commands.size(); i += step, ++n) {
                            RunConfig c = config;
                            c.faults.push_back(
                                commandFault(commands[i], n % kCommandFaultVariants));
                            runAndJudge(c);
                        }
                    });
                }
            }
        }
    }

    // Two faults in one run, drawn with a seed that is printed.
    void twoFaults(Pool& pool,
                   const std::vector<std::pair<RunConfig, std::vector<CommandAt>>>& plains,
                   std::size_t runs, uint32_t seed) {
        std::mt19937 random(seed);
        for (std::size_t r = 0; r < runs; ++r) {
            const auto& [config, commands] = plains[random() % plains.size()];
            if (commands.empty()) {
                continue;
            }
            RunConfig c = config;
            for (int k = 0; k < 2; ++k) {
                if (random() % 4 == 0) {
                    const Kind kinds[] = {Kind::ReadBack, Kind::DropWrite, Kind::ShortRead,
                                          Kind::Residual, Kind::PowerLoss};
                    c.faults.push_back(pieceFault(kinds[random() % std::size(kinds)], kTarget,
                                                  static_cast<uint32_t>(random() % kPieces)));
                } else {
                    c.faults.push_back(commandFault(commands[random() % commands.size()],
                                                    random() % kCommandFaultVariants));
                }
            }
            if (c.shape == Shape::DownloadBank) {
                std::erase_if(c.faults, [](const DriveFault& f) {
                    return f.kind == Kind::ReadBack || f.kind == Kind::DropWrite ||
                           f.kind == Kind::ShortRead || f.kind == Kind::Residual;
                });
            }
            pool.add([this, c] { runAndJudge(c); });
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    Campaign campaign;
    if (argc >= 4 && std::string(argv[1]) == "--one") {
        // --one SHAPE MODE [FAULT LINE ...]: one run, as numbered in RunConfig.h, for a look.
        RunConfig config{kShapes[std::strtoul(argv[2], nullptr, 10) % std::size(kShapes)],
                         kModes[std::strtoul(argv[3], nullptr, 10) % std::size(kModes)],
                         {}};
        for (int i = 4; i < argc; ++i) {
            config.faults.push_back(DriveFault::Parse(std::string_view(argv[i])));
        }
        campaign.tally.verbose = true;
        campaign.runAndJudge(config);
        campaign.tally.report();
        return campaign.tally.passed() ? 0 : 1;
    }
    uint32_t seed = static_cast<uint32_t>(Clock::now().time_since_epoch().count());
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--sample") {
            campaign.sample = std::max(1L, std::strtol(argv[i + 1], nullptr, 10));
        } else if (option == "--seed") {
            seed = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        } else {
            argc = 0;
        }
    }
    if (argc % 2 != 1) {
        std::fprintf(stderr, "usage: zelfin_fault_campaign [--sample N] [--seed S]\n");
        return 2;
    }
    std::printf("campaign seed %u (rerun with --seed %u)\n", seed, seed);
    std::fflush(stdout);
    const auto started = Clock::now();

    Pool pool;
    campaign.sweep(pool, Shape::WholeBank);
    campaign.sweep(pool, Shape::DownloadBank);
    std::vector<std::pair<RunConfig, std::vector<CommandAt>>> plains;
    std::mutex plainsMutex;
    campaign.matrix(pool, plains, plainsMutex);
    pool.run();
    const std::size_t least = kLeastRuns / campaign.sample;
    campaign.twoFaults(
        pool, plains,
        std::max(least / 5, least > campaign.tally.runs() ? least - campaign.tally.runs() : 0),
        seed);
    pool.run();

    std::printf("%.1f s of real time\n",
                std::chrono::duration<double>(Clock::now() - started).count());
    campaign.tally.report();
    return campaign.tally.passed() ? 0 : 1;
}
