#include "app/TReboot.h"

#include "ui/ZelfinWindows.h"

namespace zelfin::app {

TReboot::TReboot(ui::Toolkit& toolkit, Session& session, ui::Window& owner)
    : toolkit_(toolkit), session_(session),
      window_(toolkit.createWindow(ui::kRebootWindow, *this, &owner)) {
}

ui::ModalResult TReboot::ShowModal() {
    return toolkit_.showModal(*window_);
}

// The close-kind button closes the dialog itself; nothing is restarted.
void TReboot::cmdRebootLaterClick() {
}

// A refused restart shows nothing: the dialog closes and the program ends all the same.
void TReboot::cmdRebootNowClick() {
    static_cast<void>(session_.RestartSystem());
}

void TReboot::controlClicked(ui::ControlId control) {
    if (control == idOf(ui::RebootControl::cmdRebootLater)) {
        cmdRebootLaterClick();
    } else if (control == idOf(ui::RebootControl::cmdRebootNow)) {
        cmdRebootNowClick();
    }
}

} // namespace zelfin::app
