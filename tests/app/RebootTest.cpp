// The reboot dialog: its buttons and the restart request it makes.
#include "app/TReboot.h"
#include "sim/SimMachine.h"
#include "tests/support/RecordingToolkit.h"
#include "ui/ZelfinWindows.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zelfin::apptest {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using ui::RebootControl;

struct NoEvents final : ui::WindowEvents {
    void controlClicked(ui::ControlId) override {}
    void selectionChanged(ui::ControlId) override {}
    void timerFired(ui::ControlId) override {}
};

class RebootDialog : public testing::Test {
protected:
    ui::ModalResult press(RebootControl button) {
        app::TReboot dialog(kit, machine, *owner);
        kit.pressInNextModal(ui::idOf(button));
        return dialog.ShowModal();
    }

    sim::SimMachine machine{sim::OsFamily::NT};
    ui::RecordingToolkit kit;
    NoEvents events;
    std::unique_ptr<ui::Window> owner = kit.createWindow(ui::kZelfinMainWindow, events, nullptr);
};

TEST_F(RebootDialog, LaterClosesWithoutRestarting) {
    EXPECT_EQ(press(RebootControl::cmdRebootLater), ui::ModalResult::Cancel);
    EXPECT_THAT(machine.ExitRequests(), IsEmpty());
}

TEST_F(RebootDialog, NowRestartsByForceAndClosesWithYes) {
    EXPECT_EQ(press(RebootControl::cmdRebootNow), ui::ModalResult::Yes);
    EXPECT_THAT(machine.ExitRequests(), ElementsAre(6u));
    EXPECT_TRUE(machine.PrivilegeEnabled());
}

TEST_F(RebootDialog, WithoutTheShutdownPrivilegeNothingRestartsAndNothingIsShown) {
    machine.SetShutdownPrivilegeHeld(false);

    EXPECT_EQ(press(RebootControl::cmdRebootNow), ui::ModalResult::Yes);

    EXPECT_THAT(machine.ExitRequests(), IsEmpty());
    EXPECT_THAT(machine.MessageBoxes(), IsEmpty());
    EXPECT_THAT(kit.dialogs(), IsEmpty());
}

// The 95 family has no tokens: the restart is asked for directly, even where a token could
// not be opened.
TEST_F(RebootDialog, The95FamilyRestartsWithoutTokenSteps) {
    machine.SetOsFamily(sim::OsFamily::Windows95);
    machine.SetTokenOpenFails(true);

    EXPECT_EQ(press(RebootControl::cmdRebootNow), ui::ModalResult::Yes);

    EXPECT_THAT(machine.ExitRequests(), ElementsAre(6u));
    EXPECT_FALSE(machine.PrivilegeEnabled());
}

} // namespace
} // namespace zelfin::apptest
