// SHA-256 against the published examples, and the seal that guards the package and loaders.
#include "BlockBuilder.h"
#include "package/EmbeddedPackage.h"
#include "package/PackageSeal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelfin {
namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

struct Example {
    std::string message;
    std::string digest;
};

TEST(Sha256, PublishedExamples) {
    const Example examples[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Example& e : examples) {
        EXPECT_EQ(hexDigest(sha256(bytesOf(e.message))), e.digest) << e.message.size() << " bytes";
    }
}

// Fed in pieces of every awkward size, the digest is the one of the whole message.
TEST(Sha256, PiecesGiveTheDigestOfTheWhole) {
    std::string message;
    for (int i = 0; i < 300; ++i) {
        message += static_cast<char>(i * 7);
    }
    for (const std::size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 300u}) {
        const std::string_view whole(message.data(), length);
        for (const std::size_t piece : {1u, 3u, 63u, 64u, 65u}) {
            Sha256 hash;
            for (std::size_t at = 0; at < length; at += piece) {
                hash.update(bytesOf(whole.substr(at, piece)));
            }
            EXPECT_EQ(hash.finish(), sha256(bytesOf(whole))) << length << " in " << piece;
        }
    }
}

TEST(PackageSeal, NamesWhatWasDamaged) {
    const auto block = test::filledBlock();
    std::vector<std::uint8_t> loaders(20728, 0x5A);
    const PackageSeal seal = makeSeal(*block, loaders);
    EXPECT_EQ(checkSeal(seal, *block, loaders), SealCheck::Intact);

    auto* raw = reinterpret_cast<std::uint8_t*>(block.get());
    for (const std::size_t at :
         {std::size_t{0}, offsetof(PackageBlock, FW_IMAGE) + 123456, sizeof(PackageBlock) - 1}) {
        raw[at] ^= 0x01;
        EXPECT_EQ(checkSeal(seal, *block, loaders), SealCheck::BlockDamaged) << at;
        raw[at] ^= 0x01;
    }
    loaders[20727] ^= 0x80;
    EXPECT_EQ(checkSeal(seal, *block, loaders), SealCheck::LoadersDamaged);
    loaders[20727] ^= 0x80;

    PackageSeal unwritten = seal;
    std::fill(std::begin(unwritten.blockDigest), std::end(unwritten.blockDigest), 0);
    std::fill(std::begin(unwritten.loaderDigest), std::end(unwritten.loaderDigest), 0);
    EXPECT_EQ(checkSeal(unwritten, *block, loaders), SealCheck::Unsealed);
    PackageSeal noMarker = seal;
    noMarker.marker[0] = 'X';
    EXPECT_EQ(checkSeal(noMarker, *block, loaders), SealCheck::Unsealed);
}

// The packing tool finds the seal through the block: it must follow the block's last byte.
TEST(PackageSeal, TheTemplateCarriesAnUnwrittenSealRightAfterTheBlock) {
    const auto* block = reinterpret_cast<const char*>(&embeddedPackage());
    const auto* seal = reinterpret_cast<const char*>(&embeddedSeal());
    EXPECT_EQ(seal - block, 1050699);
    EXPECT_EQ(std::string(seal, 16), std::string("PACKAGE_SHA256=\0", 16));
    EXPECT_EQ(std::string(seal + 16, 64), std::string(64, '\0'));
}

} // namespace
} // namespace zelfin
