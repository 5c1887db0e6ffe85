#include "tools/TestPackage.h"

#include "tools/ComposeBlock.h"

#include <stdexcept>

namespace zelfin::testpackage {

std::string shippedDescriptionText(std::string_view imageFile) {
    const std::string vendor = "\"" + std::string(kVendor) + "\"";
    const std::string product = "\"" + std::string(kProduct) + "\"";
    std::string t;
    t += "# Synthetic package for the " + std::string(kModel) + "\n";
    t += "PROGRAMMER_TAG \"[Packed with Zelfin]\"\n";
    t += "APP_VERSION    \"v2.0.4\"\n";
    t += "CONTACT_PHONE  \"(+00) 5550100\"\n";
    t += "APP_TITLE      \"" + std::string(kTitle) + "\"\n";
    t += "PACKAGE_DATE   \"2004/04/19\"\n";
    t += "INFO_TEXT      \"N/A\"\n";
    t += "DRIVE_NAME     \"" + std::string(kModel) + "\"\n";
    t += "\n";
    t += "N2OMESSAGE 0\nCHKDISC    0\nBOOTCODE   1\nREBOOT     1\n";
    t += "AUTOMODE   0\nCLOSEAP    0\nWARNING    1\nNBWARNING  0\n";
    t += "\n";
    t += "#    n  image file     start  size     new revision\n";
    t += "BANK 1  \"" + std::string(imageFile) + "\"  0  1048576  \"" + std::string(kNewRevision) +
         "\"\n";
    t += "\n";
    t += "#    g s  from    to      vendor      product\n";
    t += "SLOT 1 1  \"" + std::string(kOldestRevision) + "\"  \"" + std::string(kNewRevision) +
         "\"  " + vendor + "  " + product + "\n";
    t += "SLOT 1 2  \"" + std::string(kBootRevision) + "\"  \"" + std::string(kBootRevision) +
         "\"  " + vendor + "  " + product + "\n";
    return t;
}

pack::PackageDescription shippedDescription() {
    pack::Problems problems;
    pack::PackageDescription d =
        pack::parseDescription(shippedDescriptionText("firmware.bin"), problems);
    if (!problems.ok() || d.banks.size() != 1)
        throw std::logic_error("the shipped description does not parse: " +
                               (problems.errors.empty() ? "" : problems.errors.front()));
    d.banks.front().data = makeImage(kBootRevision, kNewRevision);
    return d;
}

std::unique_ptr<PackageBlock> makeShippedBlock() {
    auto block = std::make_unique<PackageBlock>();
    pack::Problems problems;
    if (!pack::composeBlock(shippedDescription(), *block, problems))
        throw std::logic_error("the packer refuses the shipped package: " +
                               problems.errors.front());
    return block;
}

} // namespace zelfin::testpackage
