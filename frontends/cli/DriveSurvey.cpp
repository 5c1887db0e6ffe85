#include "frontends/cli/DriveSurvey.h"

#include "app/Texts.h"
#include "device/AtapiDevice.h"
#include "flash/LoaderArea.h"
#include "package/Eligibility.h"
#include "package/FieldText.h"

#include <algorithm>

namespace zelfin::cli {

bool DriveSurvey::anyEligible() const {
    return std::any_of(drives.begin(), drives.end(),
                       [](const DriveEntry& d) { return d.present == 1 && d.eligible == 1; });
}

// The same stops, in the same order, as the program's start-up.
DriveSurvey surveyDrives(Platform& platform, const PackageBlock& block, const PackageSeal& seal,
                         CommandObserver* observer) {
    DriveSurvey survey;
    const Package package(block);
    const Settings settings = package.decodeSettings();
    if (settings.HOW_MANY_BIN == 0) {
        survey.stop = app::text::kNoFirmware;
        return survey;
    }
    if (checkSeal(seal, block, kLoaderArea) != SealCheck::Intact) {
        survey.stop = app::text::kPackageDamaged;
        return survey;
    }
    AtapiDevice scanner(platform, true, 0, observer);
    if (scanner.lastOsError == kErrorAccessDenied) {
        survey.stop = app::text::kAccessDenied;
        return survey;
    }
    for (unsigned i = 0; i < scanner.GetDriveCount(); ++i) {
        const DriveEntry* found = scanner.GetEntry(i);
        if (found == nullptr) {
            continue;
        }
        DriveEntry entry = *found;
        const DriveIdentity identity{fieldText(entry.vendorId), fieldText(entry.productId),
                                     fieldText(entry.revision)};
        applyVerdict(entry, judgeDrive(package, settings, entry.present, identity));
        survey.drives.push_back(entry);
    }
    scanner.CloseDrive();
    return survey;
}

} // namespace zelfin::cli
