#pragma once

#include "package/PackageBlock.h"
#include "package/PackageSeal.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace zelfin::pack {

struct Located {
    bool found = false;
    std::size_t offset = 0; // of the block's first byte in the file
    std::string error;
};

// Finds the one package block in an executable's bytes: the "FW_CONSTRAINTS=" marker, with
// every key text of the block at its place around it.
Located locateBlock(std::span<const std::uint8_t> file);

// A copy of the block found at `offset` (the caller has located it).
std::unique_ptr<PackageBlock> copyBlock(std::span<const std::uint8_t> file, std::size_t offset);

// Locates the block and overwrites it with `block`; false and a message when there is none.
bool writeBlock(std::vector<std::uint8_t>& file, const PackageBlock& block, std::string& error);

// The loader area's bytes between their two markers: exactly one such area must be in the file.
struct LocatedLoaders {
    bool found = false;
    std::size_t offset = 0; // of the area's first byte, after its head marker
    std::string error;
};
LocatedLoaders locateLoaderArea(std::span<const std::uint8_t> file);

// The seal sits right after the block; true when its marker is in place there.
bool sealInPlace(std::span<const std::uint8_t> file, std::size_t blockOffset);
std::size_t sealOffset(std::size_t blockOffset);

} // namespace zelfin::pack
