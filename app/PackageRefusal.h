#pragma once
// What the program says when the package it carries cannot be used, judged from the package
// alone: the window checks it at start-up, and the Linux window program before it asks for
// rights, so a copy that could never update a drive does not ask for a password first.

#include "package/PackageBlock.h"
#include "package/PackageSeal.h"

#include <string_view>

namespace zelfin::app {

// The error dialog's text for a block without firmware or one that does not match its seal;
// empty when the package can be used.
std::string_view packageRefusal(const PackageBlock& block, const PackageSeal& seal);

} // namespace zelfin::app
