// The fault campaign: complete runs of the program on the simulated machine, one fault each, at
// every command of a full WRITE BUFFER update (the start-up scan included) and of a download
// update, of every kind the simulator models. Prints what it saw; exits 1 on a broken promise.
//   zelfin_fault_campaign [--stride N]   every N-th command only (for the slow sanitizer builds)

#include "CampaignRun.h"
#include "Invariants.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace zelfin::campaign;
using Kind = Injection::Kind;

constexpr double kProgrammingTimeout = 108000.0; // the longest a single command may take
constexpr uint32_t kSectors = 256;

struct Tally {
    std::size_t runs = 0;
    std::size_t broken = 0;
    double maxSeconds = 0.0;
    std::size_t maxCommands = 0;
    std::map<std::string, std::map<std::string, std::size_t>> endings; // by fault kind
};

void account(Tally& tally, Job job, const Injection& injection, const RunResult& run,
             const Limits& limits, std::optional<std::size_t> corruptedAt, const char* label) {
    ++tally.runs;
    tally.maxSeconds = std::max(tally.maxSeconds, run.virtualSeconds);
    tally.maxCommands = std::max(tally.maxCommands, run.log.size());
    std::string kind = kindName(injection.kind);
    if (injection.kind == Kind::Sense) {
        char sense[16];
        std::snprintf(sense, sizeof sense, " %02X/%02X/%02X", injection.sense.key,
                      injection.sense.asc, injection.sense.ascq);
        kind += sense;
    }
    ++tally.endings[std::string(label) + kind][endingName(run.ending)];
    for (const std::string& what : brokenInvariants(job, run, limits, corruptedAt)) {
        if (++tally.broken <= 40) {
            const std::string where = injection.kind == Kind::PowerLoss
                                          ? "sector " + std::to_string(injection.sector)
                                          : "command " + std::to_string(injection.at);
            std::printf("BROKEN %s%s at %s: %s\n",
                        job == Job::WriteBuffer ? "write-buffer " : "download ", kind.c_str(),
                        where.c_str(), what.c_str());
        }
    }
}

void campaign(Job job, std::size_t stride, Tally& tally) {
    const RunResult clean = runOnce(job, Injection{}, {});
    const Limits limits{clean.virtualSeconds + 2 * kProgrammingTimeout + 3600.0,
                        4 * clean.log.size() + 200, 4};
    account(tally, job, Injection{}, clean, limits, std::nullopt, "");
    if (clean.ending != Ending::Success || !clean.clickedAt) {
        std::printf("BROKEN: the fault-free run did not succeed (%s)\n", endingName(clean.ending));
        ++tally.broken;
        return;
    }
    const std::vector<zelfin::sim::Sense> senses = {
        {0x06, 0x29, 0x00}, // power-on reset
        {0x02, 0x04, 0x01}, // becoming ready
        {0x05, 0x24, 0x00}, // invalid field in CDB
        {0x04, 0x44, 0x00}, // internal target failure
    };
    // The download's scan is the write-buffer update's: only its job's commands are new.
    const std::size_t first = job == Job::WriteBuffer ? 0 : *clean.clickedAt;
    std::size_t readBacks = 0; // READ BUFFER commands of the target seen so far
    for (std::size_t at = first; at < clean.log.size(); ++at) {
        std::vector<Injection> faults;
        if ((at - first) % stride == 0) {
            for (const auto& sense : senses) {
                faults.push_back({Kind::Sense, at, sense, 0});
            }
            for (Kind kind : {Kind::NoSense, Kind::Transport, Kind::Timeout, Kind::Vanish}) {
                faults.push_back({kind, at, {}, 0});
            }
        }
        // Sampled on their own count: a stride over all commands could miss every one of them.
        const Command& hit = clean.log[at];
        if (hit.drive == kTarget && hit.record.cdb[0] == 0x3C && readBacks++ % stride == 0) {
            faults.push_back({Kind::ReadBack, at, {}, 0});
        }
        for (const Injection& injection : faults) {
            const RunResult run = runOnce(job, injection, clean.log);
            const auto corrupted =
                injection.kind == Kind::ReadBack ? std::optional<std::size_t>(at) : std::nullopt;
            account(tally, job, injection, run, limits, corrupted, "");
        }
    }
    // Power lost while each sector is programmed; the user then starts the program again and
    // the update must go through, found by its boot code's revision. Power lost while the boot
    // code itself is rewritten leaves nothing that answers: the next run finds no drive.
    for (uint32_t sector = 0; sector < kSectors; sector += static_cast<uint32_t>(stride)) {
        const Injection injection{Kind::PowerLoss, 0, {}, sector};
        RunResult again;
        const RunResult run = runOnce(job, injection, clean.log, &again);
        account(tally, job, injection, run, limits, std::nullopt, "");
        if (run.ending != Ending::Success) {
            account(tally, job, Injection{}, again, limits, std::nullopt,
                    run.targetDead ? "next run, boot code lost: " : "next run: ");
            const Ending expected = run.targetDead ? Ending::StartUpMessage : Ending::Success;
            if (again.ending != expected) {
                ++tally.broken;
                std::printf("BROKEN %s power loss at sector %u: the next run ended in %s "
                            "(revision %s)\n",
                            job == Job::WriteBuffer ? "write-buffer" : "download", sector,
                            endingName(again.ending), again.targetRevision.c_str());
            }
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    std::size_t stride = 1;
    if (argc == 3 && std::string(argv[1]) == "--stride") {
        stride = std::max(1L, std::strtol(argv[2], nullptr, 10));
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: zelfin_fault_campaign [--stride N]\n");
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    Tally tally;
    for (Job job : {Job::WriteBuffer, Job::Download}) {
        Tally own;
        campaign(job, stride, own);
        std::printf("%s update: %zu runs, %zu broken promises, longest %.0f s simulated, most "
                    "commands %zu\n",
                    job == Job::WriteBuffer ? "write-buffer" : "download", own.runs, own.broken,
                    own.maxSeconds, own.maxCommands);
        for (const auto& [kind, endings] : own.endings) {
            std::printf("  %-36s", kind.c_str());
            for (const auto& [ending, count] : endings) {
                std::printf("  %s %zu", ending.c_str(), count);
            }
            std::printf("\n");
        }
        tally.runs += own.runs;
        tally.broken += own.broken;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("fault campaign: %zu runs, %zu broken promises, %.1f s\n", tally.runs, tally.broken,
                wall);
    return tally.broken == 0 ? 0 : 1;
}
