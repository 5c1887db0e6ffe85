#pragma once
// zelfin-cli: the program on the terminal toolkit.

#include "frontends/terminal/TerminalToolkit.h"
#include "package/PackageBlock.h"
#include "package/PackageSeal.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace zelfin::cli {

enum ExitStatus : int { kExitDone = 0, kExitFailed = 1, kExitUsage = 2, kExitDeclined = 3 };

// The exit status for the way the program ended.
int statusOf(terminal::Ending ending);

int runCli(const std::vector<std::string>& args, const PackageBlock& block, const PackageSeal& seal,
           std::istream& in, std::ostream& out, std::ostream& err, bool stdinIsTerminal);

} // namespace zelfin::cli
