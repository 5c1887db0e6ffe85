#pragma once
// What --version prints, the same for every program of the project.

#include "package/PackageBlock.h"
#include "package/PackageSeal.h"

#include <string>
#include <string_view>

namespace zelfin {

// The project's version, as the build was configured with it.
std::string_view programVersion();

// "<program> <version>" and a newline; with a package block, then its title, the new revision
// of each bank in use and the package digest of its seal, or a line saying it holds no firmware.
std::string versionText(std::string_view program);
std::string versionText(std::string_view program, const PackageBlock& block,
                        const PackageSeal& seal);

} // namespace zelfin
