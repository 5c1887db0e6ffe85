// Which banks would leave the drive reporting a wrong identity, or none.
#include "tools/BankIdentity.h"
#include "tools/ComposeBlock.h"
#include "tools/TestPackage.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace zelfin::pack {
namespace {

namespace tp = testpackage;

TEST(BankIdentity, HoldsEachBankToTheRecordsAtItsOwnOffsets) {
    // An image whose first 64 KiB are blank, so the firmware's bytes begin at image offset 64 KiB.
    const auto shifted = [] {
        std::vector<std::uint8_t> image(0x10000, 0);
        const auto firmware = tp::makeImage(tp::kBootRevision, tp::kNewRevision);
        image.insert(image.end(), firmware.begin(), firmware.end() - 0x10000);
        return image;
    }();
    const struct {
        const char* name;
        std::function<void(PackageDescription&, std::vector<std::uint8_t>&)> edit;
        const char* finding; // nullptr: none
    } cases[] = {
        {"shipped package", [](auto&, auto&) {}, nullptr},
        {"revision other than the new one", [](auto& d, auto&) { d.banks[0].newRevision = "1A08"; },
         "says revision \"1A07\", but NEW_FW1 announces \"1A08\""},
        {"no boot record", [](auto&, auto& image) { image[kBootRecordAt + 4] = 0x5B; },
         "BOOTCODE 1 rewrites the boot area, but there is no boot identity record"},
        {"no boot record, boot area kept",
         [](auto& d, auto& image) {
             d.settings["BOOTCODE"] = "0";
             image[kBootRecordAt] = 0;
         },
         nullptr},
        {"no main record", [](auto&, auto& image) { image[kMainRecordAt + 3] = 0; },
         "no main identity record"},
        {"record of a product no slot names",
         [](auto& d, auto&) {
             for (SlotSpec& s : d.slots)
                 s.product = "DVDRW RVM-999X  ";
         },
         "which no slot of group 1 accepts"},
        {"bank short of the main record",
         [](auto& d, auto&) {
             d.banks[0].size = 0x40000;
             d.banks[0].newRevision = "1A08";
         },
         nullptr},
        {"bank ending inside the main record",
         [](auto& d, auto&) { d.banks[0].size = kMainRecordAt + 0x20; },
         "inside the main identity record"},
        {"bank cut from further into its file",
         [&](auto& d, auto& image) {
             image = shifted;
             d.banks[0].start = 0x10000;
             d.banks[0].size = 0x70000;
         },
         nullptr},
    };
    for (const auto& c : cases) {
        PackageDescription d = tp::shippedDescription();
        c.edit(d, d.banks[0].data);
        auto block = std::make_unique<PackageBlock>();
        Problems problems;
        ASSERT_TRUE(composeBlock(d, *block, problems)) << c.name << ": " << problems.errors[0];
        const auto findings = checkBankIdentity(*block);
        if (c.finding == nullptr) {
            EXPECT_TRUE(findings.empty()) << c.name << ": " << findings[0].problem;
            continue;
        }
        ASSERT_EQ(findings.size(), 1u) << c.name;
        EXPECT_EQ(findings[0].bank, 1) << c.name;
        EXPECT_NE(findings[0].problem.find(c.finding), std::string::npos)
            << c.name << ": " << findings[0].problem;
    }
}

} // namespace
} // namespace zelfin::pack
