#pragma once
// What the shell asks of a windowing toolkit, and no more. Win32, Qt, a terminal and the test
// recorder each implement it; the shell is written once against it.

#include "ui/WindowDescription.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace zelfin::ui {

enum class DialogType : std::uint8_t { Warning, Error, Information };
enum class DialogButtons : std::uint8_t { Ok, YesNo }; // "OK", or "&Yes" and "&No"
enum class DialogAnswer : std::uint8_t { Ok, Yes, No, Cancel };
enum class ModalResult : std::uint8_t { None, Yes, Cancel };

// The caption every toolkit gives a message dialog of each type.
constexpr const char* dialogCaption(DialogType type) {
    switch (type) {
    case DialogType::Warning:
        return "Warning";
    case DialogType::Error:
        return "Error";
    case DialogType::Information:
        return "Information";
    }
    return "";
}

// System box flags in the window system's own vocabulary.
inline constexpr std::uint32_t kStopIconOk = 0x10;

// The handlers a window hands its events to. Runs on the main thread only.
class WindowEvents {
public:
    virtual void controlClicked(ControlId control) = 0;
    virtual void selectionChanged(ControlId control) = 0; // user's choice, never code's
    virtual void timerFired(ControlId timer) = 0;

protected:
    ~WindowEvents() = default;
};

// One window built from a WindowDescription. Every call names a control of that description;
// a call that does not suit the control's kind is a programming error.
class Window {
public:
    virtual ~Window() = default;

    virtual void setCaption(std::string_view caption) = 0;
    virtual void show() = 0;

    // Labels.
    virtual void setText(ControlId label, std::string_view text) = 0;
    virtual void setFontColour(ControlId label, Colour colour) = 0;
    virtual void setVisible(ControlId label, bool visible) = 0;

    // Push buttons and timers.
    virtual void setEnabled(ControlId control, bool enabled) = 0;

    // Drop-down list. Selecting from code does not run the change handler; -1 is no selection.
    virtual void clearItems(ControlId list) = 0;
    virtual void addItem(ControlId list, std::string_view text) = 0;
    virtual int selectedIndex(ControlId list) const = 0;
    virtual void selectIndex(ControlId list, int index) = 0;

    // Progress bar.
    virtual void setMinimum(ControlId bar, int minimum) = 0;
    virtual void setMaximum(ControlId bar, int maximum) = 0;
    virtual void setStep(ControlId bar, int step) = 0;
    virtual void setPosition(ControlId bar, int position) = 0;
    virtual void stepIt(ControlId bar) = 0;
    virtual int position(ControlId bar) const = 0;
    virtual int maximum(ControlId bar) const = 0;

    // Timer.
    virtual void setInterval(ControlId timer, unsigned milliseconds) = 0;

    // Window menu, by position as the window system counts. False when there is no window menu.
    virtual bool hasWindowMenu() const = 0;
    virtual void removeWindowMenuItem(int position) = 0;
};

class Toolkit {
public:
    virtual ~Toolkit() = default;

    // Builds a window with every control of its description; owner is null for the main window.
    virtual std::unique_ptr<Window> createWindow(const WindowDescription& description,
                                                 WindowEvents& events, Window* owner) = 0;
    // Shows a window modally until one of its close-kind or yes-kind buttons closes it.
    virtual ModalResult showModal(Window& window) = 0;

    virtual DialogAnswer messageDialog(DialogType type, std::string_view text,
                                       DialogButtons buttons) = 0;
    virtual void systemBox(std::string_view text, std::string_view caption,
                           std::uint32_t flags) = 0;

    // Dispatches what is pending now, including main-thread tasks, then returns.
    virtual void processMessages() = 0;
    // Blocks until something is pending.
    virtual void waitForMessages() = 0;

    // A quit request: the caller runs on to its own end; the message loop stops at it.
    virtual void terminate() = 0;
    virtual bool terminated() const = 0;

    // The one call any thread may make: queues a task for the main thread's message loop.
    virtual void runOnMainThread(std::function<void()> task) = 0;

    // A run is under way (or no longer): where the window system asks whether the session may
    // end, the toolkit says no during a run.
    virtual void setRunUnderWay(bool underWay) { (void)underWay; }
};

} // namespace zelfin::ui
