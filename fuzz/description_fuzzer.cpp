// zelfin-pack's description reader and the block composer on arbitrary text; composing is tried
// even after reading found errors, as a caller building descriptions by hand might.

#include "package/Package.h"
#include "package/PackageBlock.h"
#include "tools/ComposeBlock.h"
#include "tools/PackageDescription.h"
#include "tools/PackageReport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelfin;
    using namespace zelfin::pack;
    static const std::vector<std::uint8_t> image(kImageSize, 0x5A);
    static const std::unique_ptr<PackageBlock> block = std::make_unique<PackageBlock>();

    Problems problems;
    PackageDescription d =
        parseDescription(std::string_view(reinterpret_cast<const char*>(data), size), problems);
    for (BankSpec& bank : d.banks) {
        // A whole image where the bank says so, the bank's own bytes where they are few, and a
        // file of the wrong size otherwise: placing megabytes per input would starve the search.
        const std::size_t bytes = bank.size == static_cast<std::int64_t>(kImageSize) ? kImageSize
                                  : bank.size > 0 && bank.size <= 0x10000
                                      ? static_cast<std::size_t>(bank.size)
                                      : 4096;
        bank.data.assign(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(bytes));
    }
    // Placing a whole image costs milliseconds here; one input in eight still goes that way.
    const bool wholeImage = std::any_of(d.banks.begin(), d.banks.end(), [](const BankSpec& b) {
        return b.data.size() == kImageSize;
    });
    if (wholeImage && size % 8 != 0) {
        return 0;
    }
    if (composeBlock(d, *block, problems)) {
        std::ostringstream out;
        printPackage(out, Package(*block));
    }
    return 0;
}
