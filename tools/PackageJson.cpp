#include "tools/PackageJson.h"

#include "package/Eligibility.h"
#include "package/FieldText.h"
#include "package/JsonText.h"

#include <string>
#include <string_view>
#include <utility>

namespace zelfin::pack {

namespace {

std::string_view sealWord(SealCheck check) {
    switch (check) {
    case SealCheck::Intact:
        return "intact";
    case SealCheck::Unsealed:
        return "unsealed";
    case SealCheck::BlockDamaged:
        return "package damaged";
    case SealCheck::LoadersDamaged:
        return "loaders damaged";
    }
    return "damaged";
}

void printTexts(std::ostream& out, const Package& package) {
    const PackageBlock& b = package.block();
    const std::pair<const char*, std::string_view> texts[] = {
        {"PROGRAMMER_TAG", fieldText(b.PROGRAMMER_TAG)},
        {"APP_VERSION", fieldText(b.APP_VERSION)},
        {"CONTACT_PHONE", fieldText(b.CONTACT_PHONE)},
        {"APP_TITLE", fieldText(b.APP_TITLE)},
        {"PACKAGE_DATE", fieldText(b.PACKAGE_DATE)},
        {"INFO_TEXT", fieldText(b.INFO_TEXT)},
        {"DRIVE_NAME", package.driveName()}};
    out << "  \"caption\": " << jsonString(package.windowTitle()) << ",\n  \"texts\": {";
    const char* comma = "";
    for (const auto& [key, text] : texts) {
        out << comma << "\n    \"" << key << "\": " << jsonString(text);
        comma = ",";
    }
    out << "\n  },\n";
}

void printSettings(std::ostream& out, const Settings& s) {
    out << "  \"settings\": {\"N2OMESSAGE\": " << int{s.N2OMESSAGE}
        << ", \"CHKDISC\": " << int{s.CHKDISC} << ", \"BOOTCODE\": " << int{s.BOOTCODE}
        << ", \"REBOOT\": " << int{s.REBOOT} << ", \"AUTOMODE\": " << int{s.AUTOMODE}
        << ", \"CLOSEAP\": " << int{s.CLOSEAP} << ", \"WARNING\": " << int{s.WARNING}
        << ", \"NBWARNING\": " << int{s.NBWARNING} << ", \"HOW_MANY_BIN\": " << s.HOW_MANY_BIN
        << "},\n";
}

void printBanks(std::ostream& out, const Package& package, const Settings& s) {
    out << "  \"banks\": [";
    for (int n = 1; n <= kBankCount; ++n) {
        const BankFit fit = package.checkBank(n);
        out << (n > 1 ? "," : "") << "\n    {\"bank\": " << n
            << ", \"start\": " << package.bankStart(n) << ", \"size\": " << package.bankSize(n)
            << ", \"newRevision\": " << jsonString(package.newRevision(n))
            << ", \"inUse\": " << (n <= s.HOW_MANY_BIN ? "true" : "false") << ", \"problem\": "
            << (n > s.HOW_MANY_BIN || fit == BankFit::Fits ? std::string("null")
                                                           : jsonString(describe(fit)))
            << "}";
    }
    out << "\n  ],\n";
}

void printSlots(std::ostream& out, const Package& package) {
    out << "  \"slots\": [";
    const char* comma = "";
    for (int g = 1; g <= kGroupCount; ++g) {
        for (int n = 1; n <= kSlotsPerGroup; ++n) {
            const SlotTexts t = *package.readSlot(g, n);
            if (slotUnfilled(t))
                continue;
            out << comma << "\n    {\"group\": " << g << ", \"slot\": " << n
                << ", \"from\": " << jsonString(t.from) << ", \"to\": " << jsonString(t.to)
                << ", \"vendor\": " << jsonString(t.vendor)
                << ", \"product\": " << jsonString(t.product) << "}";
            comma = ",";
        }
    }
    out << "\n  ],\n";
}

} // namespace

void printPackageJson(std::ostream& out, const Package& package, const SealState& state) {
    const Settings settings = package.decodeSettings();
    out << "{\n  \"blockOffset\": " << state.blockOffset << ",\n";
    printTexts(out, package);
    printSettings(out, settings);
    out << "  \"image\": " << (package.imageUnfilled() ? "\"unfilled\"" : "\"filled\"") << ",\n";
    printBanks(out, package, settings);
    printSlots(out, package);
    out << "  \"loaderOffset\": " << state.loaderOffset << ",\n";
    if (state.seal == nullptr) {
        out << "  \"packageDigest\": null,\n  \"loaderDigest\": null,\n  \"seal\": \"none\"\n}\n";
        return;
    }
    out << "  \"packageDigest\": " << jsonString(hexDigest(state.seal->blockDigest))
        << ",\n  \"loaderDigest\": " << jsonString(hexDigest(state.seal->loaderDigest))
        << ",\n  \"seal\": " << jsonString(sealWord(state.check)) << "\n}\n";
}

} // namespace zelfin::pack
