#pragma once
// A user's session with the program on a simulated machine: the synthetic package with chosen
// settings, optical drives of the supported model (or others), the recording toolkit, and the
// main window once started.

#include "app/TZelfinMain.h"
#include "package/PackageBlock.h"
#include "package/PackageSeal.h"
#include "sim/SimDrive.h"
#include "sim/SimFlash.h"
#include "sim/SimMachine.h"
#include "tests/support/RecordingToolkit.h"
#include "ui/ZelfinWindows.h"

#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelfin::apptest {

using Settings = std::map<std::string, std::string>;
using ui::MainControl;

inline constexpr sim::FlashId kChip{0xBF, 0xD7, 0x00, 0x03};

// The synthetic package with its shipped settings, each of `settings` replacing one.
std::unique_ptr<PackageBlock> makePackage(const Settings& settings);

// Writes a text field of the block: the text, then NULs to the end.
template <std::size_t N> void setField(char (&field)[N], std::string_view text) {
    static_assert(N > 0);
    for (std::size_t i = 0; i < N; ++i) {
        field[i] = i < text.size() && i + 1 < N ? text[i] : '\0';
    }
}

// Group 2 takes drives of revision 1Cxx for bank 2, which the package does not fill.
void acceptRevision1CForBank2(PackageBlock& block);

class Journey {
public:
    // The start-up notice is answered by hand in the tests about it; elsewhere it is turned
    // off (WARNING 0) unless the settings name WARNING.
    using Setting = std::pair<std::string_view, std::string_view>;
    explicit Journey(std::initializer_list<Setting> settings = {},
                     sim::OsFamily family = sim::OsFamily::NT);
    ~Journey();

    // A drive of the supported model whose flash runs main firmware `revision`.
    sim::SimDrive& addDrive(char letter, std::string_view revision, sim::ScsiPlace place = {});
    // A drive of another model.
    sim::SimDrive& addOtherDrive(char letter, std::string_view vendor, std::string_view product,
                                 std::string_view revision, sim::ScsiPlace place = {});
    sim::SimFlash& flashOf(sim::SimDrive& drive) const;

    // Constructs the main window, which runs the whole start-up.
    app::TZelfinMain& start();
    // The seal a packing of `package` as it now stands would carry.
    PackageSeal seal() const;
    // Runs the main-thread queue until the run under way has ended.
    void finishRun();
    void clickUpdate() { kit.click(ui::idOf(MainControl::cmdUpdate)); }
    void choose(int index) { kit.choose(ui::idOf(MainControl::cboDrives), index); }

    std::vector<std::string> dialogTexts() const;
    const ui::ControlState& control(std::string_view name) const { return kit.state(name); }

    sim::SimMachine machine;
    std::unique_ptr<PackageBlock> package;
    PackageSeal startedSeal{};
    ui::RecordingToolkit kit;
    std::unique_ptr<app::TZelfinMain> main;
};

} // namespace zelfin::apptest
