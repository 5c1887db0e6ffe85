#pragma once

#include "package/PackageBlock.h"

namespace zelfin {

// The block linked into this executable. A packaging step rewrites its bytes in the file after
// linking, so every read goes through this function and never sees the built-in contents.
const PackageBlock& embeddedPackage();

} // namespace zelfin
