#pragma once

#include "package/PackageBlock.h"

namespace zelfin {

// Writes the unfilled template, byte for byte as the executable is built: key texts with their
// default values, placeholders, no firmware (HOW_MANY_BIN=0) and a placeholder image.
void writeTemplate(PackageBlock& block);

} // namespace zelfin
