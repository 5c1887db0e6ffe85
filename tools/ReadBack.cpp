#include "tools/ReadBack.h"

#include "flash/LoaderArea.h"
#include "package/PackageSeal.h"
#include "tools/FileAccess.h"
#include "tools/LocateBlock.h"

#include <algorithm>
#include <cstring>

namespace zelfin::pack {

bool readsBackSealed(const std::filesystem::path& path, std::span<const std::uint8_t> meant,
                     std::string& error) {
    const std::string what = "the written copy " + path.string();
    // Never more than was written: a longer file is wrong whatever it holds.
    auto bytes = readFileAtMost(path, meant.size(), error);
    if (!bytes) {
        error = what + " cannot be read back: " + error;
        return false;
    }
    const Located block = locateBlock(*bytes);
    const LocatedLoaders loaders = locateLoaderArea(*bytes);
    if (!block.found || !loaders.found || !sealInPlace(*bytes, block.offset)) {
        error = what + " reads back without its package, seal or loader area";
        return false;
    }
    PackageSeal seal;
    std::memcpy(&seal, bytes->data() + sealOffset(block.offset), sizeof seal);
    const SealCheck verdict =
        checkSeal(seal, *copyBlock(*bytes, block.offset),
                  std::span<const std::uint8_t>(*bytes).subspan(loaders.offset, kLoaderAreaSize));
    if (verdict != SealCheck::Intact) {
        error = what + " reads back " + std::string(describe(verdict));
        return false;
    }
    if (!std::equal(bytes->begin(), bytes->end(), meant.begin(), meant.end())) {
        error = what + " reads back different from what was written";
        return false;
    }
    return true;
}

} // namespace zelfin::pack
