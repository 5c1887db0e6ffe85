#pragma once
// The toolkit as a terminal: each window is printed as status lines laid out by the rows of its
// description, the drop-down as a numbered list with the selection marked, the progress bar as a
// text bar, and every dialog with its caption and exact text, answered at a prompt. Whatever a
// person would do at the idle window (choose a drive, press Update, close) comes from the
// script first, then from the prompt.

#include "sync/TaskQueue.h"
#include "ui/Toolkit.h"

#include <chrono>
#include <deque>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace zelfin::terminal {

// What the front end says in advance, so a run needs no person at the keyboard.
struct TerminalScript {
    bool interactive = false;      // standard input is a terminal: prompt when unscripted
    std::deque<bool> answers;      // answers to the "&Yes"/"&No" questions, in order
    bool answerYesToAll = false;   // --yes: every further question is answered Yes
    std::optional<int> driveIndex; // choose this drive once the window is idle
    bool pressUpdate = false;      // press Update once the window is idle
};

// How the program ended, as far as a person watching could tell.
enum class Ending : std::uint8_t {
    Nothing,      // the program ended without an update being asked of it
    Success,      // an update run reported success
    Failure,      // an error dialog or a system box was shown
    Declined,     // a question was answered No and the program ended
    Unanswerable, // a question had no answer and nobody could be asked
    NoSuchDrive,  // the script chose a drive the list does not have
};

class TerminalWindow;

class TerminalToolkit final : public ui::Toolkit {
public:
    TerminalToolkit(std::istream& in, std::ostream& out, TerminalScript script);
    ~TerminalToolkit() override;
    TerminalToolkit(const TerminalToolkit&) = delete;
    TerminalToolkit& operator=(const TerminalToolkit&) = delete;

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

    Ending ending() const;
    // The text of the last error shown, or empty: what a person would read as the reason.
    const std::string& lastError() const { return lastError_; }

    // Used by TerminalWindow.
    void forget(const TerminalWindow& window);
    void windowChanged() { dirty_ = true; }
    void closeWindow(TerminalWindow& window, ui::ModalResult result);
    void pressButton(TerminalWindow& window, ui::ControlId button);

private:
    bool fireDueTimers();
    std::optional<std::chrono::steady_clock::time_point> nextTimerDue() const;
    void actWhenIdle();
    void promptAtIdle(TerminalWindow& main);
    std::optional<bool> nextScriptedAnswer();
    std::optional<std::string> readLine(std::string_view prompt);
    void flush();
    TerminalWindow* mainWindow() const;

    std::istream& in_;
    std::ostream& out_;
    TerminalScript script_;
    std::vector<TerminalWindow*> windows_;
    std::vector<TerminalWindow*> modalStack_;
    std::vector<ui::ModalResult> modalResults_;
    bool terminated_ = false;
    bool dirty_ = false;
    bool sawFailure_ = false;
    bool sawSuccess_ = false;
    bool sawDecline_ = false;
    bool sawUnanswerable_ = false;
    bool sawNoSuchDrive_ = false;
    std::string lastError_;

    sync::TaskQueue tasks_;
};

} // namespace zelfin::terminal
