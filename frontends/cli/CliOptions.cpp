#include "frontends/cli/CliOptions.h"

#include <optional>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace zelfin::cli {

const char* const kUsage =
    "usage: zelfin-cli [options]\n"
    "  --simulate[=SCENARIO]  run on a simulated machine (default: one RVM-270A at D:)\n"
    "  --drive N              choose drive N of the list (0 is the first)\n"
    "  --update               press Update once the window is ready\n"
    "  --yes                  answer Yes to every question\n"
    "  --answers y,n,...      answer the questions in this order\n"
    "  --trace FILE           write every command sent to a drive, and its outcome, to FILE\n"
    "  --sim-transcript FILE  with --simulate: write the simulated drives' own record to FILE\n"
    "  --list                 list the drives and their verdicts, change nothing, ask nothing\n"
    "  --json                 write one JSON document on standard output, the rest on standard\n"
    "                         error\n"
    "  --version              print the version and the package this program carries\n"
    "  --help                 this text\n"
    "Options that take a value take it as --opt value or --opt=value.\n"
    "Exit status: 0 updated or nothing asked, 1 failed, 2 usage or no answer, 3 declined.\n"
    "With --list: 0 a drive can be updated, 1 none can, 2 usage.\n";

namespace {

std::vector<bool> parseAnswers(const std::string& list) {
    std::vector<bool> answers;
    std::istringstream in(list);
    for (std::string word; std::getline(in, word, ',');) {
        if (word == "y" || word == "yes") {
            answers.push_back(true);
        } else if (word == "n" || word == "no") {
            answers.push_back(false);
        } else {
            throw std::invalid_argument("--answers takes y and n separated by commas, not '" +
                                        word + "'");
        }
    }
    if (answers.empty()) {
        throw std::invalid_argument("--answers needs at least one answer");
    }
    return answers;
}

} // namespace

CliOptions parseOptions(const std::vector<std::string>& args) {
    CliOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        // "--trace=FILE": the option, and the value that came with it.
        std::string arg = args[i];
        std::optional<std::string> attached;
        if (const std::size_t equals = arg.find('=');
            arg.starts_with("--") && equals != std::string::npos) {
            attached = arg.substr(equals + 1);
            arg.resize(equals);
        }
        const auto value = [&]() -> std::string {
            if (attached) {
                if (attached->empty()) {
                    throw std::invalid_argument(arg + "= needs a value after the =");
                }
                return *std::exchange(attached, std::nullopt);
            }
            if (i + 1 >= args.size()) {
                throw std::invalid_argument(arg + " needs a value");
            }
            return args[++i];
        };
        if (arg == "--simulate") {
            options.simulate = true;
            if (attached || (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0)) {
                options.scenarioFile = value();
            }
        } else if (arg == "--drive") {
            const std::string text = value();
            std::size_t used = 0;
            int index = -1;
            try {
                index = std::stoi(text, &used);
            } catch (const std::exception&) {
            }
            if (used != text.size() || index < 0 || index > 15) {
                throw std::invalid_argument("--drive takes a list index from 0 to 15");
            }
            options.driveIndex = index;
        } else if (arg == "--update") {
            options.pressUpdate = true;
        } else if (arg == "--yes") {
            options.yes = true;
        } else if (arg == "--answers") {
            options.answers = parseAnswers(value());
        } else if (arg == "--trace") {
            options.traceFile = value();
        } else if (arg == "--sim-transcript") {
            options.simTranscriptFile = value();
        } else if (arg == "--list") {
            options.list = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else {
            throw std::invalid_argument("unknown option " + arg);
        }
        if (attached) {
            throw std::invalid_argument(arg + " takes no value");
        }
    }
    if (options.list && (options.pressUpdate || options.driveIndex)) {
        throw std::invalid_argument("--list only reads the drives; it does not go with " +
                                    std::string(options.pressUpdate ? "--update" : "--drive"));
    }
    if (!options.simTranscriptFile.empty() && !options.simulate) {
        throw std::invalid_argument("--sim-transcript goes with --simulate");
    }
    return options;
}

} // namespace zelfin::cli
