#pragma once

#include "package/PackageBlock.h"
#include "tools/PackageDescription.h"

namespace zelfin::pack {

// Builds the block a description asks for, starting from the unfilled template (keys a
// description leaves out keep their template value). Refuses, in `problems`, anything the
// program could not use or would misuse; `block` is only meaningful when it returns true.
bool composeBlock(const PackageDescription& description, PackageBlock& block, Problems& problems);

} // namespace zelfin::pack
