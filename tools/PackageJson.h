#pragma once

#include "package/Package.h"
#include "package/PackageSeal.h"

#include <cstddef>
#include <ostream>

namespace zelfin::pack {

// Where the package sits in the file and what its seal says; seal is null while the package
// holds no firmware (no digest has been written yet).
struct SealState {
    std::size_t blockOffset = 0;
    std::size_t loaderOffset = 0;
    const PackageSeal* seal = nullptr;
    SealCheck check = SealCheck::Unsealed;
};

// `show --json`: one JSON object with the package's texts, settings, banks, filled slots,
// digests and seal state.
void printPackageJson(std::ostream& out, const Package& package, const SealState& state);

} // namespace zelfin::pack
