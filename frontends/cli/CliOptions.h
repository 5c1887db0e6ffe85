#pragma once
// zelfin-cli's own options. They choose how the program is driven and observed; none of them
// changes what the package says the program does.

#include <optional>
#include <string>
#include <vector>

namespace zelfin::cli {

struct CliOptions {
    bool simulate = false;
    std::string scenarioFile;      // empty: the default simulated machine
    std::optional<int> driveIndex; // --drive N
    bool pressUpdate = false;      // --update
    bool yes = false;              // --yes
    std::vector<bool> answers;     // --answers y,n,...
    std::string traceFile;         // --trace FILE
    std::string simTranscriptFile; // --sim-transcript FILE
    bool list = false;             // --list: scan, judge and list the drives; change nothing
    bool json = false;             // --json: one JSON document on standard output
    bool help = false;
    bool version = false;
};

// Takes "--opt value" and "--opt=value" alike. Throws std::invalid_argument with a message
// for the user.
CliOptions parseOptions(const std::vector<std::string>& args);

extern const char* const kUsage;

} // namespace zelfin::cli
