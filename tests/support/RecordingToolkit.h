#pragma once
// A toolkit that draws nothing: it records every change to every control, every caption and
// every dialog in order, answers dialogs from a script, and runs the main-thread queue and the
// timers only when asked. Tests drive the program through it as a user would. As a native modal
// loop does, a dialog or modal window runs the main-thread tasks already queued when it opens.

#include "sync/TaskQueue.h"
#include "ui/Toolkit.h"

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelfin::ui {

struct ControlState {
    ControlKind kind = ControlKind::Label;
    std::string text;
    Colour colour = kWindowText;
    bool visible = true;
    bool enabled = true;
    std::vector<std::string> items;
    int selected = -1;
    int minimum = 0;
    int maximum = 0;
    int step = 1;
    int position = 0;
    unsigned intervalMs = 0;
};

struct DialogRecord {
    DialogType type = DialogType::Information;
    std::string text;
    DialogButtons buttons = DialogButtons::Ok;
    DialogAnswer answer = DialogAnswer::Ok;
};

struct SystemBoxRecord {
    std::string text;
    std::string caption;
    std::uint32_t flags = 0;
};

class RecordingToolkit;

class RecordingWindow final : public Window {
public:
    RecordingWindow(RecordingToolkit& kit, const WindowDescription& description,
                    WindowEvents& events);
    ~RecordingWindow() override;
    RecordingWindow(const RecordingWindow&) = delete;
    RecordingWindow& operator=(const RecordingWindow&) = delete;

    void setCaption(std::string_view caption) override;
    void show() override;
    void setText(ControlId label, std::string_view text) override;
    void setFontColour(ControlId label, Colour colour) override;
    void setVisible(ControlId label, bool visible) override;
    void setEnabled(ControlId control, bool enabled) override;
    void clearItems(ControlId list) override;
    void addItem(ControlId list, std::string_view text) override;
    int selectedIndex(ControlId list) const override;
    void selectIndex(ControlId list, int index) override;
    void setMinimum(ControlId bar, int minimum) override;
    void setMaximum(ControlId bar, int maximum) override;
    void setStep(ControlId bar, int step) override;
    void setPosition(ControlId bar, int position) override;
    void stepIt(ControlId bar) override;
    int position(ControlId bar) const override;
    int maximum(ControlId bar) const override;
    void setInterval(ControlId timer, unsigned milliseconds) override;
    bool hasWindowMenu() const override;
    void removeWindowMenuItem(int position) override;

    const WindowDescription& description() const { return description_; }
    WindowEvents& events() const { return events_; }
    const std::string& caption() const { return caption_; }
    bool shown() const { return shown_; }
    const std::vector<std::string>& windowMenu() const { return menu_; }
    // The title bar's close box exists as long as the window menu holds its Close command.
    bool hasCloseBox() const;
    const ControlState& state(ControlId control) const;
    ControlState& mutableState(ControlId control, ControlKind expected);
    ControlId idOf(std::string_view controlName) const;

private:
    void record(ControlId control, std::string_view property, std::string_view value);

    RecordingToolkit& kit_;
    const WindowDescription& description_;
    WindowEvents& events_;
    std::string caption_;
    bool shown_ = false;
    std::vector<std::string> menu_;
    std::vector<ControlState> controls_;
};

class RecordingToolkit final : public Toolkit {
public:
    RecordingToolkit() = default;
    ~RecordingToolkit() override = default;
    RecordingToolkit(const RecordingToolkit&) = delete;
    RecordingToolkit& operator=(const RecordingToolkit&) = delete;

    // Toolkit.
    std::unique_ptr<Window> createWindow(const WindowDescription& description, WindowEvents& events,
                                         Window* owner) override;
    ModalResult showModal(Window& window) override;
    DialogAnswer messageDialog(DialogType type, std::string_view text,
                               DialogButtons buttons) override;
    void systemBox(std::string_view text, std::string_view caption, std::uint32_t flags) override;
    void processMessages() override;
    void waitForMessages() override;
    void terminate() override;
    bool terminated() const override { return terminated_; }
    void runOnMainThread(std::function<void()> task) override;
    void setRunUnderWay(bool underWay) override;

    // Script. Questions ("&Yes" and "&No") take the next scripted answer; without one they are
    // answered No and counted. "OK" dialogs are always answered OK.
    void answerNextQuestion(DialogAnswer answer) { answers_.push_back(answer); }
    // The button pressed in the next modal window; without one its first close-kind button.
    void pressInNextModal(ControlId button) { modalPresses_.push_back(button); }
    // A user action taken when the message loop finds nothing pending.
    void whenIdle(std::function<void()> action) { idleActions_.push_back(std::move(action)); }
    void setStallLimit(std::chrono::milliseconds limit) { stallLimit_ = limit; }
    // Called while a dialog is up, before it is answered: what the user does meanwhile (takes
    // the disc out, pushes the tray in).
    void onDialog(std::function<void(const DialogRecord&)> action) {
        onDialog_ = std::move(action);
    }

    // The user. A click on a disabled button does nothing.
    void click(ControlId button, std::string_view window = {});
    void choose(ControlId list, int index, std::string_view window = {});
    // Fires every enabled timer of the live windows, n times.
    void tick(int times = 1);

    // Main-thread queue. runPending runs what is queued now; runUntil keeps running queued tasks
    // as workers post them until done() holds or the time limit passes (false then).
    void runPending();
    std::size_t pendingTasks() const;
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(60));

    // Inspection.
    const std::vector<std::string>& log() const { return log_; }
    // Values recorded for one property, e.g. texts("lblMsg") or values("pbar", "position");
    // the window is the first one created unless named.
    std::vector<std::string> values(std::string_view control, std::string_view property,
                                    std::string_view window = {}) const;
    std::vector<std::string> texts(std::string_view control) const {
        return values(control, "text");
    }
    const std::vector<DialogRecord>& dialogs() const { return dialogs_; }
    const std::vector<SystemBoxRecord>& systemBoxes() const { return systemBoxes_; }
    // What the window system was last told: a run is under way, so the session may not end.
    bool runUnderWay() const { return runUnderWay_; }
    int unscriptedQuestions() const { return unscriptedQuestions_; }
    // The live window of that name; the first window created when name is empty.
    RecordingWindow& window(std::string_view name = {}) const;
    bool hasWindow(std::string_view name) const;
    const ControlState& state(std::string_view control, std::string_view window = {}) const;
    void clearLog() { log_.clear(); }

    // Used by RecordingWindow.
    void record(std::string line) { log_.push_back(std::move(line)); }
    void forget(const RecordingWindow& window);
    void closeWindow(RecordingWindow& window, ModalResult result);

private:
    void pressButton(RecordingWindow& window, ControlId button);

    std::vector<RecordingWindow*> windows_;
    bool runUnderWay_ = false;
    std::string firstWindowName_;
    std::vector<RecordingWindow*> modalStack_;
    std::vector<ModalResult> modalResults_;
    std::vector<std::string> log_;
    std::vector<DialogRecord> dialogs_;
    std::vector<SystemBoxRecord> systemBoxes_;
    std::deque<DialogAnswer> answers_;
    std::deque<ControlId> modalPresses_;
    std::deque<std::function<void()>> idleActions_;
    std::function<void(const DialogRecord&)> onDialog_;
    int unscriptedQuestions_ = 0;
    bool terminated_ = false;
    std::chrono::milliseconds stallLimit_ = std::chrono::seconds(60);

    sync::TaskQueue tasks_;
};

std::string describeColour(Colour colour);

} // namespace zelfin::ui
