#include "frontends/cli/Cli.h"

#include "app/Zelfin.h"
#include "frontends/cli/CliOptions.h"
#include "frontends/cli/RealPlatform.h"
#include "frontends/cli/Scenario.h"
#include "frontends/cli/TracingPlatform.h"
#include "frontends/terminal/TerminalToolkit.h"
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

void writeSimTranscript(const Scenario& scenario, std::ofstream& out, const std::string& path) {
    for (const SimulatedDrive& d : scenario.drives) {
        for (const sim::TranscriptRecord& record : d.drive->Transcript()) {
            out << sim::FormatTranscriptLine(record) << '\n';
        }
    }
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
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
    // Nobody can be asked: rather than guess at a firmware update, do nothing at all.
    if (!stdinIsTerminal && !options.yes && options.answers.empty()) {
        err << "zelfin-cli: standard input is not a terminal and no answers were given; "
               "refusing to guess. Give --yes (or --answers) to answer the questions in "
               "advance.\n";
        return kExitUsage;
    }

    Scenario scenario;
    std::unique_ptr<Platform> real;
    Platform* platform = nullptr;
    try {
        if (options.simulate) {
            scenario = options.scenarioFile.empty() ? defaultScenario()
                                                    : readScenarioFile(options.scenarioFile);
            platform = scenario.machine.get();
        } else {
            std::string whyNot;
            real = makeRealPlatform(whyNot);
            if (!real) {
                err << "zelfin-cli: " << whyNot << '\n';
                return kExitUsage;
            }
            platform = real.get();
        }
    } catch (const std::exception& error) {
        err << "zelfin-cli: " << error.what() << '\n';
        return kExitUsage;
    }

    std::unique_ptr<std::FILE, FileCloser> traceFile;
    std::unique_ptr<TracingPlatform> tracing;
    if (!options.traceFile.empty()) {
        traceFile.reset(std::fopen(options.traceFile.c_str(), "w"));
        if (!traceFile) {
            err << "zelfin-cli: cannot write the trace file " << options.traceFile << '\n';
            return kExitUsage;
        }
        tracing = std::make_unique<TracingPlatform>(*platform, traceFile.get());
        platform = tracing.get();
    }

    // Outermost, so the run's guards hold on the simulated machine as on a real one.
    GuardedPlatform guarded(*platform, processStops());
    platform = &guarded;

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

    terminal::TerminalScript script;
    script.interactive = stdinIsTerminal;
    script.answers.assign(options.answers.begin(), options.answers.end());
    script.answerYesToAll = options.yes;
    script.driveIndex = options.driveIndex;
    script.pressUpdate = options.pressUpdate;
    terminal::TerminalToolkit toolkit(in, out, script);

    app::runZelfin(toolkit, *platform, block, seal);

    if (options.simulate) {
        // The record first: standard output may be a pipe that has gone.
        if (!options.simTranscriptFile.empty()) {
            writeSimTranscript(scenario, simTranscript, options.simTranscriptFile);
        }
        for (const SimulatedDrive& d : scenario.drives) {
            out << "(simulated drive " << d.letter << ": now reports revision "
                << d.drive->Revision() << ")\n";
        }
    }
    return statusOf(toolkit.ending());
}

} // namespace zelfin::cli
