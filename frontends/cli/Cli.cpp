#include "frontends/cli/Cli.h"

#include "app/DriveLine.h"
#include "app/Zelfin.h"
#include "frontends/cli/CliJson.h"
#include "frontends/cli/CliOptions.h"
#include "frontends/cli/DriveSurvey.h"
#include "frontends/cli/RunText.h"
#include "frontends/cli/TraceObserver.h"
#include "frontends/terminal/TerminalToolkit.h"
#include "package/ProgramVersion.h"
#include "platforms/RealSystem.h"
#include "sim/Scenario.h"
#include "sim/Transcript.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <ostream>
#include <stdexcept>

namespace zelfin::cli {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

void writeSimTranscript(const sim::Scenario& scenario, std::ofstream& out,
                        const std::string& path) {
    for (const sim::SimDrive* drive : scenario.drives) {
        for (const sim::TranscriptRecord& record : drive->Transcript()) {
            out << sim::FormatTranscriptLine(record) << '\n';
        }
    }
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string_view outcomeOf(terminal::Ending ending) {
    switch (ending) {
    case terminal::Ending::Nothing:
        return "nothing";
    case terminal::Ending::Success:
        return "updated";
    case terminal::Ending::Failure:
        return "failed";
    case terminal::Ending::Declined:
        return "declined";
    case terminal::Ending::Unanswerable:
        return "unanswered";
    case terminal::Ending::NoSuchDrive:
        return "no such drive";
    }
    return "failed";
}

// --list: the drives with their verdicts; 0 when one can be updated, 1 when none can.
int listDrives(const CliOptions& options, Platform& platform, const PackageBlock& block,
               const PackageSeal& seal, TraceObserver* trace, std::ostream& out,
               std::ostream& err) {
    const DriveSurvey survey = surveyDrives(platform, block, seal, trace);
    if (trace != nullptr && !trace->PutBefore(traceHeader(
                                block, seal, app::RunReport{survey.drives, {}, {}}, "listed"))) {
        err << "zelfin-cli: cannot write the header of the trace file\n";
    }
    const Package package(block);
    if (options.json) {
        writeJson(out, package, survey.drives, survey.stop, std::nullopt);
    }
    if (!survey.stop.empty()) {
        err << "zelfin-cli: " << survey.stop << '\n';
        return kExitFailed;
    }
    std::ostream& human = options.json ? err : out;
    for (std::size_t i = 0; i < survey.drives.size(); ++i) {
        const DriveEntry& d = survey.drives[i];
        human << '[' << i << "] " << app::formatDriveLine(d) << "  ";
        if (d.present != 1 || d.eligible != 1) {
            human << "not eligible\n";
            continue;
        }
        const int bank = d.groupIndex + 1;
        human << (d.upToDate == 1 ? "eligible, up to date" : "eligible") << " (bank " << bank
              << ", new revision " << package.newRevision(bank) << ")\n";
    }
    if (!survey.anyEligible()) {
        human << "no drive can be updated with this package\n";
        return kExitFailed;
    }
    return kExitDone;
}

} // namespace

int statusOf(terminal::Ending ending) {
    switch (ending) {
    case terminal::Ending::Nothing:
    case terminal::Ending::Success:
        return kExitDone;
    case terminal::Ending::Failure:
        return kExitFailed;
    case terminal::Ending::Declined:
        return kExitDeclined;
    case terminal::Ending::Unanswerable:
    case terminal::Ending::NoSuchDrive:
        return kExitUsage;
    }
    return kExitFailed;
}

int runCli(const std::vector<std::string>& args, const PackageBlock& block, const PackageSeal& seal,
           std::istream& in, std::ostream& out, std::ostream& err, bool stdinIsTerminal) {
    CliOptions options;
    try {
        options = parseOptions(args);
    } catch (const std::invalid_argument& error) {
        err << "zelfin-cli: " << error.what() << '\n' << kUsage;
        return kExitUsage;
    }
    if (options.help) {
        out << kUsage;
        return kExitDone;
    }
    if (options.version) {
        out << versionText("zelfin-cli", block, seal);
        return kExitDone;
    }
    // With --json standard output holds the document alone.
    std::ostream& human = options.json ? err : out;
    // Nobody can be asked: rather than guess at a firmware update, do nothing at all. A list
    // asks nothing.
    if (!options.list && !stdinIsTerminal && !options.yes && options.answers.empty()) {
        err << "zelfin-cli: standard input is not a terminal and no answers were given; "
               "refusing to guess. Give --yes (or --answers) to answer the questions in "
               "advance.\n";
        return kExitUsage;
    }

    sim::Scenario scenario;
    RealSystem real;
    std::unique_ptr<Session> simulatedSession;
    Platform* platform = nullptr;
    Session* session = nullptr;
    try {
        if (options.simulate) {
            scenario = options.scenarioFile.empty() ? sim::DefaultScenario()
                                                    : sim::ReadScenarioFile(options.scenarioFile);
            platform = scenario.machine.get();
            // The process's stop requests are held as on a real machine.
            simulatedSession = holdingProcessStops(*scenario.machine);
            session = simulatedSession.get();
        } else {
            std::string whyNot;
            real = makeRealSystem(whyNot);
            if (!real.platform) {
                err << "zelfin-cli: " << whyNot << '\n';
                return kExitUsage;
            }
            platform = real.platform.get();
            session = real.session.get();
        }
    } catch (const std::exception& error) {
        err << "zelfin-cli: " << error.what() << '\n';
        return kExitUsage;
    }

    std::unique_ptr<std::FILE, FileCloser> traceFile;
    std::unique_ptr<TraceObserver> trace;
    if (!options.traceFile.empty()) {
        traceFile.reset(std::fopen(options.traceFile.c_str(), "w+"));
        if (!traceFile) {
            err << "zelfin-cli: cannot write the trace file " << options.traceFile << '\n';
            return kExitUsage;
        }
        trace = std::make_unique<TraceObserver>(traceFile.get());
    }

    // Opened before the run, like the trace: a path that cannot be written must not turn a
    // finished update into a failure afterwards.
    std::ofstream simTranscript;
    if (!options.simTranscriptFile.empty()) {
        simTranscript.open(options.simTranscriptFile);
        if (!simTranscript) {
            err << "zelfin-cli: cannot write the simulator transcript " << options.simTranscriptFile
                << '\n';
            return kExitUsage;
        }
    }

    if (options.list) {
        const int status = listDrives(options, *platform, block, seal, trace.get(), out, err);
        if (!options.simTranscriptFile.empty()) {
            writeSimTranscript(scenario, simTranscript, options.simTranscriptFile);
        }
        return status;
    }

    terminal::TerminalScript script;
    script.interactive = stdinIsTerminal;
    script.answers.assign(options.answers.begin(), options.answers.end());
    script.answerYesToAll = options.yes;
    script.driveIndex = options.driveIndex;
    script.pressUpdate = options.pressUpdate;
    terminal::TerminalToolkit toolkit(in, human, script);

    app::RunReport report;
    app::runZelfin(toolkit, *platform, *session, block, seal, &report, trace.get());

    if (options.simulate) {
        // The record first: standard output may be a pipe that has gone.
        if (!options.simTranscriptFile.empty()) {
            writeSimTranscript(scenario, simTranscript, options.simTranscriptFile);
        }
        for (const sim::SimDrive* drive : scenario.drives) {
            human << "(simulated drive " << drive->Name() << ": now reports revision "
                  << drive->Revision() << ")\n";
        }
    }
    err << failureLines(report, "zelfin-cli: ");
    if (trace && !trace->PutBefore(traceHeader(block, seal, report, outcomeOf(toolkit.ending())))) {
        err << "zelfin-cli: cannot write the header of the trace file " << options.traceFile
            << '\n';
    }
    if (options.json) {
        writeJson(out, Package(block), report.drives, toolkit.lastError(),
                  JsonRun{outcomeOf(toolkit.ending()), &report.jobs});
    }
    return statusOf(toolkit.ending());
}

} // namespace zelfin::cli
