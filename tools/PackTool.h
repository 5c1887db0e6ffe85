#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zelfin::pack {

// zelfin-pack: fill, show, check, make-demo. Returns the exit status: 0 done, 1 refused or
// failed (the executable untouched; for check, a package without firmware), 2 wrong usage.
int runPackTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace zelfin::pack
