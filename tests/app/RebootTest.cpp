// The reboot dialog: its buttons and the restart it asks the session for.
#include "app/TReboot.h"
#include "sim/SimMachine.h"
#include "tests/support/RecordingToolkit.h"
#include "ui/ZelfinWindows.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zelfin::apptest {
namespace {

using testing::IsEmpty;
using ui::RebootControl;

struct NoEvents final : ui::WindowEvents {
    void controlClicked(ui::ControlId) override {}
    void selectionChanged(ui::ControlId) override {}
    void timerFired(ui::ControlId) override {}
};

// A refused restart shows nothing: the dialog closes and the program ends all the same.
TEST(RebootDialog, OnlyNowAsksForTheRestartAndARefusalShowsNothing) {
    const struct {
        const char* what;
        RebootControl button;
        bool refused;
        ui::ModalResult result;
        int restarts;
    } cases[] = {
        {"later", RebootControl::cmdRebootLater, false, ui::ModalResult::Cancel, 0},
        {"now", RebootControl::cmdRebootNow, false, ui::ModalResult::Yes, 1},
        {"now, refused", RebootControl::cmdRebootNow, true, ui::ModalResult::Yes, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimMachine machine;
        machine.SetRestartRefused(c.refused);
        ui::RecordingToolkit kit;
        NoEvents events;
        const auto owner = kit.createWindow(ui::kZelfinMainWindow, events, nullptr);
        app::TReboot dialog(kit, machine, *owner);
        kit.pressInNextModal(ui::idOf(c.button));

        EXPECT_EQ(dialog.ShowModal(), c.result);
        EXPECT_EQ(machine.RestartRequests(), c.restarts);
        EXPECT_THAT(machine.MessageBoxes(), IsEmpty());
        EXPECT_THAT(kit.dialogs(), IsEmpty());
    }
}

} // namespace
} // namespace zelfin::apptest
