#include "CampaignRun.h"

#include "app/Zelfin.h"
#include "frontends/cli/Cli.h"
#include "sim/SimFlash.h"
#include "tools/TestPackage.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <sstream>
#include <streambuf>

namespace zelfin::campaign {
namespace {

constexpr std::size_t kBootArea = 0x10000;

// Discards what the terminal toolkit prints: the campaign reads the drives, not the screen.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

bool isTarget(const RunConfig& config, char letter) {
    const std::vector<char> t = targets(config.mode);
    return std::find(t.begin(), t.end(), letter) != t.end();
}

// Where the drive puts what it commits: the whole bank, but for the boot area when the boot
// code is left alone; a download replaces the first 128 KiB.
std::pair<std::size_t, std::size_t> committedRange(const Package& package) {
    return {package.bootCode ? 0 : kBootArea, package.bank.size()};
}

bool answers(sim::SimDrive& drive) {
    const sim::SimFlash* flash = sim::SimFlash::Of(drive);
    return !drive.Vanished() && (flash == nullptr || flash->Running() != sim::SimFirmware::Dead);
}

DriveTruth truthOf(sim::SimDrive& drive, const RunConfig& config, uint32_t commitsBefore,
                   std::size_t transcriptBefore, bool answeredBefore, bool keepTranscript) {
    const Package& package = packageFor(config.shape, config.mode);
    DriveTruth t;
    t.letter = drive.Name().front();
    // A drive that no longer answered when the run began is not one the program could update.
    t.target = isTarget(config, t.letter) && answeredBefore;
    std::vector<sim::TranscriptRecord> records = drive.Transcript();
    records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                         transcriptBefore, records.size())));
    bool commitSent = false;
    for (const sim::TranscriptRecord& r : records) {
        t.changingCommands += r.cdb[0] == 0x3B || r.cdb[0] == 0xF2 ? 1 : 0;
        commitSent |= r.cdb[0] == 0x3B && (r.cdb[9] == 0x80 || r.cdb[9] == 0xA0);
    }
    if (keepTranscript) {
        t.transcript = std::move(records);
    }
    const sim::SimFlash* flash = sim::SimFlash::Of(drive);
    t.answers = answers(drive);
    // One that went before anything was written to it was never the program's to update.
    t.target = t.target && (t.answers || t.changingCommands > 0);
    t.revision = drive.Revision();
    if (flash == nullptr) {
        return t;
    }
    t.commits = flash->Commits() - commitsBefore;
    const auto contents = flash->Contents();
    const auto [from, to] = committedRange(package);
    const bool holds = std::equal(contents.begin() + static_cast<std::ptrdiff_t>(from),
                                  contents.begin() + static_cast<std::ptrdiff_t>(to),
                                  package.bank.begin() + static_cast<std::ptrdiff_t>(from));
    const std::optional<sim::SimIdentity> id = flash->Identity();
    const bool download = config.shape == Shape::DownloadBank;
    t.runsBank = holds && id.has_value() &&
                 (download || (flash->Running() == sim::SimFirmware::Main &&
                               std::string(id->revision.data(), 4) == package.newRevision));

    // What the drive last sent back of each piece must be the bank, whole, before any commit.
    const sim::SimCommitRecord& commit = flash->LastCommit();
    if (!download && commitSent && commit.code != 0) {
        const auto delivered = flash->Delivered();
        bool equal = commit.EveryPieceReadBack();
        for (std::size_t at = 0; equal && at < package.bank.size(); at += 4096) {
            equal = std::equal(package.bank.begin() + static_cast<std::ptrdiff_t>(at),
                               package.bank.begin() + static_cast<std::ptrdiff_t>(at + 4096),
                               delivered.begin() + static_cast<std::ptrdiff_t>(at));
        }
        t.unverifiedCommit = !equal;
    }
    return t;
}

} // namespace

sim::Scenario makeMachine(const RunConfig& config) {
    // The drives' images are the same few in every run: made once, kept for the process.
    static std::mutex mutex;
    static std::map<std::string, std::vector<uint8_t>, std::less<>> images;
    const sim::ImageSource kept = [](std::string_view revision) -> std::span<const uint8_t> {
        std::lock_guard lock(mutex);
        auto found = images.find(revision);
        if (found == images.end()) {
            found = images
                        .emplace(std::string(revision),
                                 testpackage::makeImage(testpackage::kBootRevision, revision))
                        .first;
        }
        return found->second;
    };
    return sim::ParseScenario(scenarioText(config), kept);
}

RunResult runOn(sim::Scenario& scenario, const RunConfig& config, bool keepTranscripts) {
    const Package& package = packageFor(config.shape, config.mode);
    std::vector<uint32_t> commitsBefore;
    std::vector<std::size_t> transcriptBefore;
    std::vector<bool> answeredBefore;
    for (sim::SimDrive* drive : scenario.drives) {
        answeredBefore.push_back(answers(*drive));
        const sim::SimFlash* flash = sim::SimFlash::Of(*drive);
        commitsBefore.push_back(flash != nullptr ? flash->Commits() : 0);
        transcriptBefore.push_back(drive->TranscriptSize());
    }
    NullBuffer nothing;
    std::ostream out(&nothing);
    std::istringstream in;
    terminal::TerminalScript script;
    script.answerYesToAll = true;
    script.pressUpdate = true;
    terminal::TerminalToolkit toolkit(in, out, script);

    RunResult result;
    const double startedAt = scenario.machine->NowSeconds();
    app::runZelfin(toolkit, *scenario.machine, *scenario.machine, package.block, package.seal);
    result.virtualSeconds = scenario.machine->NowSeconds() - startedAt;
    result.ending = toolkit.ending();
    result.exitStatus = cli::statusOf(result.ending);
    for (std::size_t i = 0; i < scenario.drives.size(); ++i) {
        sim::SimDrive& drive = *scenario.drives[i];
        result.drives.push_back(truthOf(drive, config, commitsBefore[i], transcriptBefore[i],
                                        answeredBefore[i], keepTranscripts));
        result.commands += drive.TranscriptSize() - transcriptBefore[i];
    }
    return result;
}

} // namespace zelfin::campaign
