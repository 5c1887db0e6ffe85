#include "package/PackageSeal.h"

#include <algorithm>
#include <cstring>

namespace zelfin {
namespace {

Sha256Digest digestOf(const PackageBlock& block) {
    return sha256(std::span(reinterpret_cast<const std::uint8_t*>(&block), sizeof block));
}

bool equal(const std::uint8_t (&stored)[32], const Sha256Digest& computed) {
    return std::memcmp(stored, computed.data(), computed.size()) == 0;
}

} // namespace

PackageSeal makeSeal(const PackageBlock& block, std::span<const std::uint8_t> loaderArea) {
    PackageSeal seal{};
    std::memcpy(seal.marker, kSealMarker.data(), sizeof seal.marker);
    const Sha256Digest blockDigest = digestOf(block);
    const Sha256Digest loaderDigest = sha256(loaderArea);
    std::memcpy(seal.blockDigest, blockDigest.data(), blockDigest.size());
    std::memcpy(seal.loaderDigest, loaderDigest.data(), loaderDigest.size());
    return seal;
}

SealCheck checkSeal(const PackageSeal& seal, const PackageBlock& block,
                    std::span<const std::uint8_t> loaderArea) {
    const auto zero = [](const std::uint8_t(&d)[32]) {
        return std::all_of(std::begin(d), std::end(d), [](std::uint8_t b) { return b == 0; });
    };
    if (std::memcmp(seal.marker, kSealMarker.data(), sizeof seal.marker) != 0 ||
        (zero(seal.blockDigest) && zero(seal.loaderDigest))) {
        return SealCheck::Unsealed;
    }
    if (!equal(seal.blockDigest, digestOf(block))) {
        return SealCheck::BlockDamaged;
    }
    if (!equal(seal.loaderDigest, sha256(loaderArea))) {
        return SealCheck::LoadersDamaged;
    }
    return SealCheck::Intact;
}

std::string_view describe(SealCheck check) {
    switch (check) {
    case SealCheck::Intact:
        return "intact";
    case SealCheck::Unsealed:
        return "damaged: the package has no digest (filled by hand or by an older tool, or the "
               "digest itself was overwritten)";
    case SealCheck::BlockDamaged:
        return "damaged: the package block does not match its digest";
    case SealCheck::LoadersDamaged:
        return "damaged: the loader area does not match its digest";
    }
    return "damaged";
}

std::string hexDigest(std::span<const std::uint8_t> digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2);
    for (const std::uint8_t b : digest) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

} // namespace zelfin
