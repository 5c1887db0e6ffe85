#include "Journey.h"

#include "flash/LoaderArea.h"
#include "tools/ComposeBlock.h"
#include "tools/TestPackage.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace zelfin::apptest {

std::unique_ptr<PackageBlock> makePackage(const Settings& settings) {
    pack::PackageDescription description = testpackage::shippedDescription();
    for (const auto& [key, value] : settings) {
        description.settings[key] = value;
    }
    auto block = std::make_unique<PackageBlock>();
    pack::Problems problems;
    if (!pack::composeBlock(description, *block, problems)) {
        throw std::logic_error("test package refused: " + problems.errors.front());
    }
    return block;
}

void acceptRevision1CForBank2(PackageBlock& block) {
    setField(block.HOW_MANY_BIN, "HOW_MANY_BIN=2");
    ConstraintSlot& slot = block.constraints[1][0];
    setField(slot.FW_FROM, "1C00");
    setField(slot.FW_TO, "1C99");
    setField(slot.VENDOR, testpackage::kVendor);
    setField(slot.PRODUCT, testpackage::kProduct);
}

namespace {

Settings withQuietStart(std::initializer_list<Journey::Setting> chosen) {
    Settings settings;
    for (const auto& [key, value] : chosen) {
        settings[std::string(key)] = std::string(value);
    }
    settings.try_emplace("WARNING", "0");
    return settings;
}

} // namespace

Journey::Journey(std::initializer_list<Setting> settings, sim::OsFamily family)
    : machine(family), package(makePackage(withQuietStart(settings))) {
}

Journey::~Journey() {
    // The window goes first: it waits for its workers, which use the machine and the package.
    main.reset();
}

sim::SimDrive& Journey::addDrive(char letter, std::string_view revision, sim::ScsiPlace place) {
    sim::SimDrive& drive = machine.NewDrive(std::string(1, letter));
    sim::SimFlash::Install(drive, kChip,
                           testpackage::makeImage(testpackage::kBootRevision, revision));
    machine.AddOpticalLetter(letter, drive, place);
    return drive;
}

sim::SimDrive& Journey::addOtherDrive(char letter, std::string_view vendor,
                                      std::string_view product, std::string_view revision,
                                      sim::ScsiPlace place) {
    sim::SimDrive& drive = machine.NewDrive(std::string(1, letter));
    drive.SetIdentity(std::string(vendor), std::string(product), std::string(revision));
    drive.SetVendorCommands(false);
    machine.AddOpticalLetter(letter, drive, place);
    return drive;
}

sim::SimFlash& Journey::flashOf(sim::SimDrive& drive) const {
    auto* flash = dynamic_cast<sim::SimFlash*>(drive.GetFlashModel());
    if (flash == nullptr) {
        throw std::logic_error("drive " + drive.Name() + " has no flash memory");
    }
    return *flash;
}

app::TZelfinMain& Journey::start() {
    startedSeal = seal();
    main = std::make_unique<app::TZelfinMain>(kit, machine, machine, *package, startedSeal);
    return *main;
}

PackageSeal Journey::seal() const {
    return makeSeal(*package, kLoaderArea);
}

void Journey::finishRun() {
    ASSERT_TRUE(main != nullptr);
    ASSERT_TRUE(kit.runUntil([this] { return !main->runUnderWay(); }))
        << "the run did not end in time";
}

std::vector<std::string> Journey::dialogTexts() const {
    std::vector<std::string> texts;
    for (const ui::DialogRecord& dialog : kit.dialogs()) {
        texts.push_back(dialog.text);
    }
    return texts;
}

} // namespace zelfin::apptest
