#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zelfin::pack {

// zelfin-pack: fill, show, check, make-demo, --version. Returns the exit status: 0 done, 1
// refused or failed (the executable untouched; for check, a drive that is not eligible), 2
// wrong usage (for check also a file that is no packed program).
int runPackTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace zelfin::pack
