#pragma once

#include "package/PackageBlock.h"

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

} // namespace zelfin::pack
