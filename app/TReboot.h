#pragma once
// The reboot dialog shown after a successful update: restart the computer now, or later.

#include "device/Session.h"
#include "ui/Toolkit.h"

#include <memory>

namespace zelfin::app {

class TReboot final : public ui::WindowEvents {
public:
    TReboot(ui::Toolkit& toolkit, Session& session, ui::Window& owner);
    ~TReboot() = default;
    TReboot(const TReboot&) = delete;
    TReboot& operator=(const TReboot&) = delete;

    ui::ModalResult ShowModal();

    void cmdRebootLaterClick();
    void cmdRebootNowClick();

private:
    void controlClicked(ui::ControlId control) override;
    void selectionChanged(ui::ControlId) override {}
    void timerFired(ui::ControlId) override {}

    ui::Toolkit& toolkit_;
    Session& session_;
    std::unique_ptr<ui::Window> window_;
};

} // namespace zelfin::app
