#pragma once
// zelfin-cli: the program on the terminal toolkit.

#include "package/PackageBlock.h"
#include "package/PackageSeal.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace zelfin::cli {

enum ExitStatus : int { kExitDone = 0, kExitFailed = 1, kExitUsage = 2, kExitDeclined = 3 };

int runCli(const std::vector<std::string>& args, const PackageBlock& block, const PackageSeal& seal,
           std::istream& in, std::ostream& out, std::ostream& err, bool stdinIsTerminal);

} // namespace zelfin::cli
