#include "package/ProgramVersion.h"

#include "package/FieldText.h"
#include "package/Package.h"

#include <algorithm>

namespace zelfin {

std::string_view programVersion() {
    return ZELFIN_VERSION;
}

std::string versionText(std::string_view program) {
    return std::string(program) + " " + std::string(programVersion()) + "\n";
}

std::string versionText(std::string_view program, const PackageBlock& block,
                        const PackageSeal& seal) {
    std::string text = versionText(program);
    const Package package(block);
    const int banks = std::min<int>(package.decodeSettings().HOW_MANY_BIN, kBankCount);
    if (banks == 0) {
        return text + "package: none (no firmware packed)\n";
    }
    text += "package: " + std::string(fieldText(block.APP_TITLE)) + "\n";
    for (int n = 1; n <= banks; ++n) {
        text += "bank " + std::to_string(n) +
                " new revision: " + std::string(package.newRevision(n)) + "\n";
    }
    return text + "package digest: " + hexDigest(seal.blockDigest) + "\n";
}

} // namespace zelfin
