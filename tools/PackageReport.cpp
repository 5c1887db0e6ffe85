#include "tools/PackageReport.h"

#include "package/FieldText.h"

#include <cstdio>
#include <string>

namespace zelfin::pack {

namespace {

void line(std::ostream& out, std::string_view label, const std::string& value) {
    out << label << ':' << std::string(label.size() < 15 ? 15 - label.size() : 1, ' ') << value
        << '\n';
}

} // namespace

// Quoted, so trailing blanks show; bytes outside printable ASCII as \xNN.
std::string shown(std::string_view text) {
    std::string s = "\"";
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            s += hex;
        } else {
            s += static_cast<char>(c);
        }
    }
    return s + "\"";
}

void printPackage(std::ostream& out, const Package& package) {
    const PackageBlock& b = package.block();
    const Settings s = package.decodeSettings();

    line(out, "caption", shown(package.windowTitle()));
    line(out, "APP_TITLE", shown(fieldText(b.APP_TITLE)));
    line(out, "APP_VERSION", shown(fieldText(b.APP_VERSION)));
    line(out, "DRIVE_NAME", shown(package.driveName()));
    line(out, "PROGRAMMER_TAG", shown(fieldText(b.PROGRAMMER_TAG)));
    line(out, "CONTACT_PHONE", shown(fieldText(b.CONTACT_PHONE)));
    line(out, "PACKAGE_DATE", shown(fieldText(b.PACKAGE_DATE)));
    line(out, "INFO_TEXT", shown(fieldText(b.INFO_TEXT)));

    out << "settings:       N2OMESSAGE=" << int{s.N2OMESSAGE} << " CHKDISC=" << int{s.CHKDISC}
        << " BOOTCODE=" << int{s.BOOTCODE} << " REBOOT=" << int{s.REBOOT}
        << " AUTOMODE=" << int{s.AUTOMODE} << " CLOSEAP=" << int{s.CLOSEAP}
        << " WARNING=" << int{s.WARNING} << " NBWARNING=" << int{s.NBWARNING}
        << " HOW_MANY_BIN=" << s.HOW_MANY_BIN << '\n';
    line(out, "image", package.imageUnfilled() ? "unfilled (placeholder)" : "filled");

    for (int n = 1; n <= kBankCount; ++n) {
        const BankFit fit = package.checkBank(n);
        line(out, "bank " + std::to_string(n),
             "start " + std::to_string(package.bankStart(n)) + " size " +
                 std::to_string(package.bankSize(n)) + " new revision " +
                 shown(package.newRevision(n)) +
                 (n > s.HOW_MANY_BIN     ? " (not in use)"
                  : fit == BankFit::Fits ? ""
                                         : " [cannot be cut: " + std::string(describe(fit)) + "]"));
    }

    int unfilled = 0;
    for (int g = 1; g <= kGroupCount; ++g) {
        for (int n = 1; n <= kSlotsPerGroup; ++n) {
            const SlotTexts t = *package.readSlot(g, n);
            if (slotUnfilled(t)) {
                ++unfilled;
                continue;
            }
            line(out, "slot " + std::to_string(g) + " " + std::to_string(n),
                 "from " + shown(t.from) + " to " + shown(t.to) + " vendor " + shown(t.vendor) +
                     " product " + shown(t.product));
        }
    }
    line(out, "unfilled slots", std::to_string(unfilled));
}

void printIdentityFindings(std::ostream& out, const std::vector<BankIdentityFinding>& findings) {
    for (const BankIdentityFinding& f : findings)
        line(out, "identity", "bank " + std::to_string(f.bank) + ": " + f.problem);
}

void printVerdict(std::ostream& out, const Package& package, const Verdict& verdict) {
    line(out, "eligible", std::to_string(verdict.eligible));
    if (verdict.eligible != 1) {
        line(out, "group", "-");
        line(out, "up to date", "-");
        return;
    }
    const int bank = verdict.groupIndex + 1;
    line(out, "group",
         std::to_string(bank) + " (bank " + std::to_string(bank) + ", new revision " +
             shown(package.newRevision(bank)) + ")");
    line(out, "up to date", std::to_string(verdict.upToDate));
}

} // namespace zelfin::pack
