#pragma once
// The toolkit in plain Win32: windows from their descriptions, MessageBoxA dialogs, a modal
// loop of our own, and a hidden window that receives the tasks other threads post.

#include "frontends/win32/Glyphs.h"
#include "frontends/win32/WinApi.h"
#include "sync/TaskQueue.h"
#include "ui/Toolkit.h"

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zelfin::win32ui {

class Win32Window;

class Win32Toolkit final : public ui::Toolkit {
public:
    Win32Toolkit();
    ~Win32Toolkit() override;
    Win32Toolkit(const Win32Toolkit&) = delete;
    Win32Toolkit& operator=(const Win32Toolkit&) = delete;

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
    void setRunUnderWay(bool underWay) override;

    // Used by Win32Window.
    // During a run the windows refuse the end of the session and the system's sleep.
    bool runUnderWay() const { return runUnderWay_; }
    HINSTANCE instance() const { return instance_; }
    const Glyphs& glyphs() const { return *glyphs_; }
    void registerClass(const char* className);
    void forget(const Win32Window& window);
    void closeWindow(Win32Window& window, ui::ModalResult result);
    void runQueuedTasks();
    // An exception caught in a window procedure, rethrown once our own code has control again.
    void holdException(std::exception_ptr error);

private:
    void dispatch(MSG& message);
    bool handleKey(const MSG& message);
    Win32Window* windowOf(HWND hwnd) const;
    HWND dialogOwner() const;
    void rethrowHeld();

    HINSTANCE instance_;
    HWND taskWindow_ = nullptr;
    std::unique_ptr<Glyphs> glyphs_;
    std::vector<std::string> registeredClasses_;
    std::vector<Win32Window*> windows_;    // the first is the main window
    std::vector<Win32Window*> modalStack_; // innermost last
    bool terminated_ = false;
    bool runUnderWay_ = false;
    HWND blockedShutdown_ = nullptr; // the window the system shows the run's reason for
    std::exception_ptr held_;

    sync::TaskQueue tasks_;
};

} // namespace zelfin::win32ui
