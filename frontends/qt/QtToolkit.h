#pragma once
// The toolkit as Qt Widgets: each window is built from its description with real widgets,
// dialogs are message boxes with the exact captions, texts and buttons, and tasks from worker
// threads are queued onto the GUI thread's event loop.

#include "ui/Toolkit.h"

#include <QObject>

#include <vector>

namespace zelfin::qt {

class QtWindow;

class QtToolkit final : public ui::Toolkit {
public:
    // A QApplication must exist for as long as the toolkit does.
    QtToolkit();
    ~QtToolkit() override;
    QtToolkit(const QtToolkit&) = delete;
    QtToolkit& operator=(const QtToolkit&) = delete;

    std::unique_ptr<ui::Window> createWindow(const ui::WindowDescription& description,
                                             ui::WindowEvents& events, ui::Window* owner) override;
    ui::ModalResult showModal(ui::Window& window) override;
    ui::DialogAnswer messageDialog(ui::DialogType type, std::string_view text,
                                   ui::DialogButtons buttons) override;
    void systemBox(std::string_view text, std::string_view caption, std::uint32_t flags) override;
    void processMessages() override;
    void waitForMessages() override;
    void terminate() override;
    bool terminated() const override { return terminated_; }
    void runOnMainThread(std::function<void()> task) override;
    // While a run is under way the session manager's request to end the session is refused.
    void setRunUnderWay(bool underWay) override { runUnderWay_ = underWay; }

    // Used by QtWindow: the first window built is the main window, and closing it ends the
    // program.
    void windowClosed(const QtWindow& window);
    void forget(const QtWindow& window);

private:
    QObject dispatcher_; // lives on the GUI thread; queued tasks run in its thread
    std::vector<const QtWindow*> windows_;
    bool terminated_ = false;
    bool runUnderWay_ = false;
};

// Maps the faces the windows are described with onto faces a Linux system has, and sets the
// application font, so no control falls back to an unrelated face. Call once after the
// QApplication exists.
void installFonts();

} // namespace zelfin::qt
