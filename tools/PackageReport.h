#pragma once

#include "package/Eligibility.h"
#include "package/Package.h"
#include "tools/BankIdentity.h"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace zelfin::pack {

// Quoted, so trailing blanks show; bytes outside printable ASCII as \xNN.
std::string shown(std::string_view text);

// The decoded block as the program would see it: caption, texts, settings, banks, slots.
void printPackage(std::ostream& out, const Package& package);

// The verdict the program reaches for one drive, in the form "eligible: 1" and so on.
void printVerdict(std::ostream& out, const Package& package, const Verdict& verdict);

// One line per finding, naming the bank: "identity:       bank 1: ...".
void printIdentityFindings(std::ostream& out, const std::vector<BankIdentityFinding>& findings);

} // namespace zelfin::pack
