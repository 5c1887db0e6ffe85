#include "Oracle.h"

namespace zelfin::campaign {
namespace {

using Kind = sim::DriveFault::Kind;

constexpr double kLongestRunSeconds = 3 * 108000.0;
constexpr uint32_t kBootSectors = 16;

// Faults that may leave a drive unable to answer: it vanishes, or power goes while its boot
// code is being rewritten.
bool mayTakeAway(const RunConfig& config, char letter) {
    for (const sim::DriveFault& f : config.faults) {
        if (f.letter != letter) {
            continue;
        }
        if (f.kind == Kind::Vanish || f.kind == Kind::GoneAfterCommit ||
            (f.kind == Kind::PowerLoss && f.sector.value_or(3) < kBootSectors)) {
            return true;
        }
    }
    return false;
}

} // namespace

Verdict judge(const RunConfig& config, const RunResult& run) {
    Verdict v;
    const bool success = run.ending == terminal::Ending::Success;
    const bool failure = run.ending == terminal::Ending::Failure;
    bool allRunBank = true;
    bool allCommitted = true;
    bool anyChanged = false;
    bool anyTarget = false;
    for (const DriveTruth& d : run.drives) {
        if (d.target) {
            anyTarget = true;
            allRunBank &= d.runsBank;
            allCommitted &= d.commits > 0;
            anyChanged |= d.changingCommands > 0;
        } else if (d.changingCommands > 0) {
            v.broken.push_back(std::string("drive ") + d.letter +
                               ", which the package does not allow, got " +
                               std::to_string(d.changingCommands) + " changing commands");
        }
        v.unverifiedCommit |= d.unverifiedCommit;
        v.bricked |= !d.answers && !mayTakeAway(config, d.letter);
    }
    v.falseSuccess = success && !allRunBank;
    v.falseFailure = failure && anyTarget && allRunBank && allCommitted;
    const bool nothingAsked = run.ending == terminal::Ending::Nothing && !anyChanged;
    if ((run.exitStatus == 0) != (success || nothingAsked) || (failure && run.exitStatus != 1)) {
        v.broken.push_back("exit status " + std::to_string(run.exitStatus) +
                           " does not agree with the result");
    }
    if (anyChanged && !success && !failure) {
        v.broken.push_back("a drive was written to, but the run reported no result");
    }
    if (run.virtualSeconds > kLongestRunSeconds) {
        v.broken.push_back("ran " + std::to_string(run.virtualSeconds) + " s of simulated time");
    }
    return v;
}

} // namespace zelfin::campaign
