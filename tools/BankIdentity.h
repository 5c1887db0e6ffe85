#pragma once

// What a drive would report after taking a bank: the drive writes the bank into its flash from
// offset 0 and answers INQUIRY from the identity records found there, so a bank whose records do
// not name the drive its package accepts, at the revision the package announces, leaves a drive
// that no package recognises again (or, without a boot record, one that cannot start at all).

#include "package/IdentityRecords.h"
#include "package/PackageBlock.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelfin::pack {

struct BankIdentityFinding {
    int bank = 0; // 1..4
    std::string problem;
};

// Every bank in use whose bytes would leave the drive with a wrong or missing identity: a bank
// long enough to replace the main record must carry one naming a drive its group's slots accept
// at the first 4 characters of its new revision; with the boot-code setting on, every bank must
// carry the boot record. Banks that cannot be cut are left to the checks that refuse them.
std::vector<BankIdentityFinding> checkBankIdentity(const PackageBlock& block);

} // namespace zelfin::pack
