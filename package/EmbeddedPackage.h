#pragma once

#include "package/PackageBlock.h"
#include "package/PackageSeal.h"

namespace zelfin {

// The block linked into this executable. A packaging step rewrites its bytes in the file after
// linking, so every read goes through this function and never sees the built-in contents.
const PackageBlock& embeddedPackage();

// The seal the packaging step wrote right after the block.
const PackageSeal& embeddedSeal();

} // namespace zelfin
