#pragma once
// What zelfin-cli writes about a finished run besides the window's own texts: a line per failed
// drive, and the header of the --trace file.
#include "app/RunReport.h"
#include "package/PackageBlock.h"
#include "package/PackageSeal.h"

#include <string>
#include <string_view>

namespace zelfin::cli {

// "<prefix>D: (BRYMOTE DVDRW RVM-270A, 1-0-0-0): programming failed at ...", one line per
// failed job.
std::string failureLines(const app::RunReport& report, std::string_view prefix);

// Lines that each begin "# ": the program and its package as --version prints them, each drive
// as the run found it and as it left it, the result and the failures.
std::string traceHeader(const PackageBlock& block, const PackageSeal& seal,
                        const app::RunReport& report, std::string_view result);

} // namespace zelfin::cli
