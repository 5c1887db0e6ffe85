#include "tools/LocateBlock.h"

#include "flash/LoaderArea.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace zelfin::pack {

namespace {

constexpr std::string_view kMarker{"FW_CONSTRAINTS=\0", 16};

struct Key {
    std::size_t offset;
    std::string_view text;
};

// Every key text that stays in place whatever the block is filled with.
std::vector<Key> keysInPlace() {
    std::vector<Key> keys = {
        {offsetof(PackageBlock, constraintMarker), kMarker},
        {offsetof(PackageBlock, N2OMESSAGE), "N2OMESSAGE="},
        {offsetof(PackageBlock, CHKDISC), "CHKDISC="},
        {offsetof(PackageBlock, BOOTCODE), "BOOTCODE="},
        {offsetof(PackageBlock, REBOOT), "REBOOT="},
        {offsetof(PackageBlock, AUTOMODE), "AUTOMODE="},
        {offsetof(PackageBlock, CLOSEAP), "CLOSEAP="},
        {offsetof(PackageBlock, WARNING), "WARNING="},
        {offsetof(PackageBlock, NBWARNING), "NBWARNING="},
        {offsetof(PackageBlock, HOW_MANY_BIN), "HOW_MANY_BIN="},
    };
    static constexpr std::string_view kStart[] = {
        "BIN_START1=", "BIN_START2=", "BIN_START3=", "BIN_START4="};
    static constexpr std::string_view kSize[] = {
        "BIN_SIZE1=", "BIN_SIZE2=", "BIN_SIZE3=", "BIN_SIZE4="};
    static constexpr std::string_view kNew[] = {"NEW_FW1=", "NEW_FW2=", "NEW_FW3=", "NEW_FW4="};
    for (std::size_t i = 0; i < kBankCount; ++i) {
        keys.push_back({offsetof(PackageBlock, BIN_START) + i * 22, kStart[i]});
        keys.push_back({offsetof(PackageBlock, BIN_SIZE) + i * 21, kSize[i]});
        keys.push_back({offsetof(PackageBlock, NEW_FW) + i * 16, kNew[i]});
    }
    return keys;
}

// The first key that is not at its place for a block starting at `start`, or nullptr.
const Key* misplacedKey(std::span<const std::uint8_t> file, std::size_t start,
                        const std::vector<Key>& keys) {
    for (const Key& k : keys) {
        if (std::memcmp(file.data() + start + k.offset, k.text.data(), k.text.size()) != 0)
            return &k;
    }
    return nullptr;
}

} // namespace

Located locateBlock(std::span<const std::uint8_t> file) {
    const std::vector<Key> keys = keysInPlace();
    const std::size_t markerAt = offsetof(PackageBlock, constraintMarker);
    std::vector<std::size_t> matches;
    std::string nearMiss;

    auto it = file.begin();
    while (true) {
        it = std::search(it, file.end(), kMarker.begin(), kMarker.end());
        if (it == file.end())
            break;
        const auto pos = static_cast<std::size_t>(it - file.begin());
        ++it;
        if (pos < markerAt || pos - markerAt + sizeof(PackageBlock) > file.size())
            continue;
        const std::size_t start = pos - markerAt;
        if (const Key* k = misplacedKey(file, start, keys)) {
            if (nearMiss.empty())
                nearMiss = "a marker at file offset " + std::to_string(pos) + " lacks \"" +
                           std::string(k->text.substr(0, k->text.find('\0'))) + "\" at its place";
            continue;
        }
        matches.push_back(start);
    }

    Located result;
    if (matches.size() == 1) {
        result.found = true;
        result.offset = matches.front();
    } else if (matches.empty()) {
        result.error = "no package block found (no \"FW_CONSTRAINTS=\" marker with every key in "
                       "place)";
        if (!nearMiss.empty())
            result.error += "; " + nearMiss;
    } else {
        result.error = "found " + std::to_string(matches.size()) +
                       " package blocks; refusing to guess which one to use";
    }
    return result;
}

std::unique_ptr<PackageBlock> copyBlock(std::span<const std::uint8_t> file, std::size_t offset) {
    if (offset > file.size() || file.size() - offset < sizeof(PackageBlock))
        throw std::out_of_range("package block at offset " + std::to_string(offset) +
                                " reaches past the end of the file");
    auto block = std::make_unique<PackageBlock>();
    std::memcpy(block.get(), file.data() + offset, sizeof(PackageBlock));
    return block;
}

bool writeBlock(std::vector<std::uint8_t>& file, const PackageBlock& block, std::string& error) {
    const Located where = locateBlock(file);
    if (!where.found) {
        error = where.error;
        return false;
    }
    std::memcpy(file.data() + where.offset, &block, sizeof block);
    return true;
}

LocatedLoaders locateLoaderArea(std::span<const std::uint8_t> file) {
    LocatedLoaders result;
    constexpr std::size_t kTailAt = kLoaderAreaHead.size() + kLoaderAreaSize;
    int count = 0;
    for (auto it = file.begin();; ++it) {
        it = std::search(it, file.end(), kLoaderAreaHead.begin(), kLoaderAreaHead.end());
        if (it == file.end())
            break;
        const auto pos = static_cast<std::size_t>(it - file.begin());
        // A copy of the marker text alone (the packing code's own) has no tail at its place.
        if (file.size() - pos < kTailAt + kLoaderAreaTail.size() ||
            std::memcmp(file.data() + pos + kTailAt, kLoaderAreaTail.data(),
                        kLoaderAreaTail.size()) != 0)
            continue;
        ++count;
        result.offset = pos + kLoaderAreaHead.size();
    }
    if (count == 1) {
        result.found = true;
    } else if (count == 0) {
        result.error = "no loader area found (no \"ZELFIN_LOADERS<\" marker with its end marker "
                       "20728 bytes on); is this a Zelfin program?";
    } else {
        result.error = "found " + std::to_string(count) +
                       " loader areas; refusing to guess which one the program sends";
    }
    return result;
}

std::size_t sealOffset(std::size_t blockOffset) {
    return blockOffset + offsetof(SealedPackage, seal);
}

bool sealInPlace(std::span<const std::uint8_t> file, std::size_t blockOffset) {
    const std::size_t at = sealOffset(blockOffset);
    return at <= file.size() && file.size() - at >= sizeof(PackageSeal) &&
           std::memcmp(file.data() + at, kSealMarker.data(), kSealMarker.size()) == 0;
}

} // namespace zelfin::pack
