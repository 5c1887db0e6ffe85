#pragma once
// The seal: SHA-256 digests of the package block and of the loader area, written by the packing
// tool right after the block in the same object. The program compares them at start-up, so a
// damaged copy of the program never reaches a drive.

#include "package/PackageBlock.h"
#include "package/Sha256.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace zelfin {

// 15 characters and the NUL.
inline constexpr std::string_view kSealMarker{"PACKAGE_SHA256=\0", 16};

struct PackageSeal {
    char marker[16];
    std::uint8_t blockDigest[32];
    std::uint8_t loaderDigest[32];
};

static_assert(std::is_standard_layout_v<PackageSeal>);
static_assert(std::is_trivially_copyable_v<PackageSeal>);
static_assert(alignof(PackageSeal) == 1);
static_assert(sizeof(PackageSeal) == 80);
static_assert(offsetof(PackageSeal, blockDigest) == 16);
static_assert(offsetof(PackageSeal, loaderDigest) == 48);

// The block as the program carries it: its seal follows its last byte with no gap, so the
// packing tool finds the seal wherever it finds the block.
struct SealedPackage {
    PackageBlock block;
    PackageSeal seal;
};

static_assert(alignof(SealedPackage) == 1);
static_assert(offsetof(SealedPackage, seal) == sizeof(PackageBlock));
static_assert(sizeof(SealedPackage) == 1050779);

enum class SealCheck : std::uint8_t {
    Intact,
    Unsealed,       // no marker, or digests never written
    BlockDamaged,   // the block's bytes differ from its digest
    LoadersDamaged, // the loader area's bytes differ from its digest
};

PackageSeal makeSeal(const PackageBlock& block, std::span<const std::uint8_t> loaderArea);
SealCheck checkSeal(const PackageSeal& seal, const PackageBlock& block,
                    std::span<const std::uint8_t> loaderArea);
std::string_view describe(SealCheck check);

std::string hexDigest(std::span<const std::uint8_t> digest);

} // namespace zelfin
