#include "tests/support/RecordingToolkit.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace zelfin::ui {
namespace {

std::string_view kindName(DialogType type) {
    switch (type) {
    case DialogType::Warning:
        return "warning";
    case DialogType::Error:
        return "error";
    case DialogType::Information:
        return "information";
    }
    return "?";
}

std::string_view answerName(DialogAnswer answer) {
    switch (answer) {
    case DialogAnswer::Ok:
        return "OK";
    case DialogAnswer::Yes:
        return "Yes";
    case DialogAnswer::No:
        return "No";
    case DialogAnswer::Cancel:
        return "Cancel";
    }
    return "?";
}

std::string_view resultName(ModalResult result) {
    switch (result) {
    case ModalResult::None:
        return "none";
    case ModalResult::Yes:
        return "Yes";
    case ModalResult::Cancel:
        return "Cancel";
    }
    return "?";
}

// The standard window menu; minimise and maximise are greyed where the description says so.
std::vector<std::string> standardWindowMenu(const TitleBar& titleBar) {
    if (!titleBar.windowMenu) {
        return {};
    }
    const std::string greyed = titleBar.greyedMinimiseMaximise ? " (greyed)" : "";
    return {"&Restore",           "&Move", "&Size", "Mi&nimize" + greyed,
            "Ma&ximize" + greyed, "-",     "&Close"};
}

constexpr std::size_t kDialogLimit = 1000;

} // namespace

std::string describeColour(Colour colour) {
    switch (colour.system) {
    case SystemColour::WindowText:
        return "window text";
    case SystemColour::ButtonText:
        return "button text";
    case SystemColour::ButtonFace:
        return "button face";
    case SystemColour::None:
        break;
    }
    if (colour == kBlack) {
        return "black";
    }
    if (colour == kMaroon) {
        return "maroon";
    }
    if (colour == kNavy) {
        return "navy";
    }
    char text[32];
    std::snprintf(text, sizeof text, "rgb(%u,%u,%u)", unsigned{colour.red}, unsigned{colour.green},
                  unsigned{colour.blue});
    return text;
}

// ---- RecordingWindow ----

RecordingWindow::RecordingWindow(RecordingToolkit& kit, const WindowDescription& description,
                                 WindowEvents& events)
    : kit_(kit), description_(description), events_(events), caption_(description.caption),
      menu_(standardWindowMenu(description.titleBar)) {
    controls_.reserve(description.controls.size());
    for (const ControlDescription& control : description.controls) {
        ControlState state;
        state.kind = control.kind;
        state.text = std::string(control.text);
        state.colour = control.hasFont ? control.font.colour : description.defaultFont.colour;
        state.minimum = control.rangeMinimum;
        state.maximum = control.rangeMaximum;
        state.intervalMs = control.intervalMs;
        state.enabled = control.enabled;
        controls_.push_back(std::move(state));
    }
    kit_.record(std::string(description_.name) + ".create");
}

RecordingWindow::~RecordingWindow() {
    kit_.record(std::string(description_.name) + ".destroy");
    kit_.forget(*this);
}

void RecordingWindow::record(ControlId control, std::string_view property, std::string_view value) {
    std::string line(description_.name);
    line += '.';
    line += description_.controls[control].name;
    line += '.';
    line += property;
    line += " = ";
    line += value;
    kit_.record(std::move(line));
}

const ControlState& RecordingWindow::state(ControlId control) const {
    if (control >= controls_.size()) {
        throw std::out_of_range("no control " + std::to_string(control) + " in " +
                                std::string(description_.name));
    }
    return controls_[control];
}

ControlState& RecordingWindow::mutableState(ControlId control, ControlKind expected) {
    if (control >= controls_.size()) {
        throw std::out_of_range("no control " + std::to_string(control) + " in " +
                                std::string(description_.name));
    }
    ControlState& state = controls_[control];
    if (state.kind != expected) {
        throw std::logic_error("control " + std::string(description_.controls[control].name) +
                               " is not of the kind this call needs");
    }
    return state;
}

ControlId RecordingWindow::idOf(std::string_view controlName) const {
    for (const ControlDescription& control : description_.controls) {
        if (control.name == controlName) {
            return control.id;
        }
    }
    throw std::out_of_range("no control " + std::string(controlName) + " in " +
                            std::string(description_.name));
}

void RecordingWindow::setCaption(std::string_view caption) {
    caption_ = std::string(caption);
    kit_.record(std::string(description_.name) + ".caption = " + caption_);
}

void RecordingWindow::show() {
    shown_ = true;
    kit_.record(std::string(description_.name) + ".show");
}

void RecordingWindow::setText(ControlId label, std::string_view text) {
    mutableState(label, ControlKind::Label).text = std::string(text);
    record(label, "text", text);
}

void RecordingWindow::setFontColour(ControlId label, Colour colour) {
    mutableState(label, ControlKind::Label).colour = colour;
    record(label, "colour", describeColour(colour));
}

void RecordingWindow::setVisible(ControlId label, bool visible) {
    mutableState(label, ControlKind::Label).visible = visible;
    record(label, "visible", visible ? "true" : "false");
}

void RecordingWindow::setEnabled(ControlId control, bool enabled) {
    ControlState& state = controls_.at(control);
    if (state.kind != ControlKind::PushButton && state.kind != ControlKind::Timer) {
        throw std::logic_error("only buttons and timers are enabled or disabled");
    }
    state.enabled = enabled;
    record(control, "enabled", enabled ? "true" : "false");
}

void RecordingWindow::clearItems(ControlId list) {
    ControlState& state = mutableState(list, ControlKind::DropDownList);
    state.items.clear();
    state.selected = -1;
    record(list, "clear", "");
}

void RecordingWindow::addItem(ControlId list, std::string_view text) {
    mutableState(list, ControlKind::DropDownList).items.emplace_back(text);
    record(list, "add", text);
}

int RecordingWindow::selectedIndex(ControlId list) const {
    const ControlState& s = state(list);
    if (s.kind != ControlKind::DropDownList) {
        throw std::logic_error("only a drop-down list has a selection");
    }
    return s.selected;
}

void RecordingWindow::selectIndex(ControlId list, int index) {
    ControlState& state = mutableState(list, ControlKind::DropDownList);
    // As list boxes do, an index outside the items clears the selection.
    state.selected =
        (index >= 0 && static_cast<std::size_t>(index) < state.items.size()) ? index : -1;
    record(list, "select", std::to_string(state.selected));
}

void RecordingWindow::setMinimum(ControlId bar, int minimum) {
    mutableState(bar, ControlKind::ProgressBar).minimum = minimum;
    record(bar, "minimum", std::to_string(minimum));
}

void RecordingWindow::setMaximum(ControlId bar, int maximum) {
    mutableState(bar, ControlKind::ProgressBar).maximum = maximum;
    record(bar, "maximum", std::to_string(maximum));
}

void RecordingWindow::setStep(ControlId bar, int step) {
    mutableState(bar, ControlKind::ProgressBar).step = step;
    record(bar, "step", std::to_string(step));
}

void RecordingWindow::setPosition(ControlId bar, int position) {
    ControlState& state = mutableState(bar, ControlKind::ProgressBar);
    state.position = std::clamp(position, state.minimum, state.maximum);
    record(bar, "position", std::to_string(state.position));
}

void RecordingWindow::stepIt(ControlId bar) {
    ControlState& state = mutableState(bar, ControlKind::ProgressBar);
    // A bar that steps past its end starts again from its minimum, as the native control does.
    state.position += state.step;
    if (state.position > state.maximum) {
        state.position = state.minimum + (state.position - state.maximum);
    }
    record(bar, "position", std::to_string(state.position));
}

int RecordingWindow::position(ControlId bar) const {
    return state(bar).position;
}

int RecordingWindow::maximum(ControlId bar) const {
    return state(bar).maximum;
}

void RecordingWindow::setInterval(ControlId timer, unsigned milliseconds) {
    mutableState(timer, ControlKind::Timer).intervalMs = milliseconds;
    record(timer, "interval", std::to_string(milliseconds));
}

bool RecordingWindow::hasWindowMenu() const {
    return description_.titleBar.windowMenu;
}

void RecordingWindow::removeWindowMenuItem(int position) {
    kit_.record(std::string(description_.name) + ".menu.remove = " + std::to_string(position));
    if (position >= 0 && static_cast<std::size_t>(position) < menu_.size()) {
        menu_.erase(menu_.begin() + position);
    }
}

bool RecordingWindow::hasCloseBox() const {
    return description_.titleBar.closeBox &&
           std::find(menu_.begin(), menu_.end(), "&Close") != menu_.end();
}

// ---- RecordingToolkit ----

std::unique_ptr<Window> RecordingToolkit::createWindow(const WindowDescription& description,
                                                       WindowEvents& events, Window* owner) {
    if (owner != nullptr && std::find(windows_.begin(), windows_.end(), owner) == windows_.end()) {
        throw std::logic_error("the owner of a new window must be a live window of this toolkit");
    }
    auto window = std::make_unique<RecordingWindow>(*this, description, events);
    if (firstWindowName_.empty()) {
        firstWindowName_ = std::string(description.name);
    }
    windows_.push_back(window.get());
    return window;
}

void RecordingToolkit::forget(const RecordingWindow& window) {
    std::erase(windows_, &window);
    std::erase(modalStack_, &window);
}

void RecordingToolkit::setRunUnderWay(bool underWay) {
    if (underWay == runUnderWay_) {
        throw std::logic_error("setRunUnderWay: told twice in a row");
    }
    runUnderWay_ = underWay;
    record(underWay ? "run under way" : "run over");
}

ModalResult RecordingToolkit::showModal(Window& window) {
    auto* recording = dynamic_cast<RecordingWindow*>(&window);
    if (recording == nullptr) {
        throw std::logic_error("showModal: not a window of this toolkit");
    }
    const std::string name(recording->description().name);
    record("modal " + name);
    tasks_.runQueued();
    modalStack_.push_back(recording);
    modalResults_.push_back(ModalResult::None);
    ControlId press = 0;
    bool found = false;
    if (!modalPresses_.empty()) {
        press = modalPresses_.front();
        modalPresses_.pop_front();
        found = true;
    } else {
        for (const ControlDescription& control : recording->description().controls) {
            if (control.kind == ControlKind::PushButton && control.button == ButtonKind::Close) {
                press = control.id;
                found = true;
                break;
            }
        }
    }
    if (found) {
        pressButton(*recording, press);
    }
    const ModalResult result = modalResults_.back();
    modalResults_.pop_back();
    std::erase(modalStack_, recording);
    record("modal " + name + " -> " + std::string(resultName(result)));
    return result;
}

void RecordingToolkit::closeWindow(RecordingWindow& window, ModalResult result) {
    auto place = std::find(modalStack_.begin(), modalStack_.end(), &window);
    if (place != modalStack_.end()) {
        modalResults_[static_cast<std::size_t>(place - modalStack_.begin())] = result;
        return;
    }
    record(std::string(window.description().name) + ".close");
    // The first window is the main window: closing it ends the program.
    if (!windows_.empty() && windows_.front() == &window) {
        terminate();
    }
}

void RecordingToolkit::pressButton(RecordingWindow& window, ControlId button) {
    window.state(button); // throws for a control the window does not have
    const ControlDescription& control = window.description().controls[button];
    record("user click " + std::string(window.description().name) + "." +
           std::string(control.name) + (window.state(button).enabled ? "" : " (disabled)"));
    if (control.kind != ControlKind::PushButton || !window.state(button).enabled) {
        return;
    }
    window.events().controlClicked(button);
    if (control.button == ButtonKind::Close) {
        closeWindow(window, ModalResult::Cancel);
    } else if (control.button == ButtonKind::Yes) {
        closeWindow(window, ModalResult::Yes);
    }
}

DialogAnswer RecordingToolkit::messageDialog(DialogType type, std::string_view text,
                                             DialogButtons buttons) {
    // A program caught in a loop of dialogs fails the test instead of hanging it.
    if (dialogs_.size() >= kDialogLimit) {
        throw std::runtime_error("more than " + std::to_string(kDialogLimit) + " dialogs");
    }
    DialogAnswer answer = DialogAnswer::Ok;
    if (buttons == DialogButtons::YesNo) {
        if (answers_.empty()) {
            ++unscriptedQuestions_;
            answer = DialogAnswer::No;
        } else {
            answer = answers_.front();
            answers_.pop_front();
        }
    }
    DialogRecord shown{type, std::string(text), buttons, answer};
    if (onDialog_) {
        onDialog_(shown);
    }
    tasks_.runQueued();
    dialogs_.push_back(std::move(shown));
    record("dialog " + std::string(kindName(type)) +
           (buttons == DialogButtons::Ok ? " [OK]" : " [&Yes &No]") + " -> " +
           std::string(answerName(answer)) + ": " + std::string(text));
    return answer;
}

void RecordingToolkit::systemBox(std::string_view text, std::string_view caption,
                                 std::uint32_t flags) {
    systemBoxes_.push_back(SystemBoxRecord{std::string(text), std::string(caption), flags});
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(flags));
    record("system box [" + std::string(caption) + "] " + hex + ": " + std::string(text));
}

void RecordingToolkit::processMessages() {
    tasks_.runQueued();
}

void RecordingToolkit::waitForMessages() {
    if (tasks_.size() != 0) {
        return;
    }
    if (!idleActions_.empty() && !terminated_) {
        auto action = std::move(idleActions_.front());
        idleActions_.pop_front();
        action();
        return;
    }
    if (!tasks_.waitUntil(std::chrono::steady_clock::now() + stallLimit_)) {
        // Nothing will ever come: end the loop rather than hang the caller.
        record("stalled: nothing pending");
        terminate();
    }
}

void RecordingToolkit::terminate() {
    record("terminate");
    terminated_ = true;
}

void RecordingToolkit::runOnMainThread(std::function<void()> task) {
    tasks_.push(std::move(task));
}

std::size_t RecordingToolkit::pendingTasks() const {
    return tasks_.size();
}

void RecordingToolkit::runPending() {
    while (tasks_.runQueued()) {
    }
}

bool RecordingToolkit::runUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        tasks_.runQueued();
        if (done()) {
            return true;
        }
        if (!tasks_.waitUntil(deadline)) {
            return done();
        }
    }
}

void RecordingToolkit::click(ControlId button, std::string_view window) {
    pressButton(this->window(window), button);
}

void RecordingToolkit::choose(ControlId list, int index, std::string_view window) {
    RecordingWindow& target = this->window(window);
    target.state(list); // throws for a control the window does not have
    record("user choose " + std::string(target.description().name) + "." +
           std::string(target.description().controls[list].name) + " " + std::to_string(index));
    target.selectIndex(list, index);
    target.events().selectionChanged(list);
}

void RecordingToolkit::tick(int times) {
    for (int i = 0; i < times; ++i) {
        const std::vector<RecordingWindow*> live = windows_;
        for (RecordingWindow* window : live) {
            for (const ControlDescription& control : window->description().controls) {
                if (control.kind == ControlKind::Timer && window->state(control.id).enabled) {
                    window->events().timerFired(control.id);
                }
            }
        }
    }
}

RecordingWindow& RecordingToolkit::window(std::string_view name) const {
    const std::string_view wanted = name.empty() ? std::string_view(firstWindowName_) : name;
    for (RecordingWindow* window : windows_) {
        if (window->description().name == wanted) {
            return *window;
        }
    }
    throw std::out_of_range("no live window " + std::string(name));
}

bool RecordingToolkit::hasWindow(std::string_view name) const {
    return std::any_of(windows_.begin(), windows_.end(),
                       [&](const RecordingWindow* w) { return w->description().name == name; });
}

const ControlState& RecordingToolkit::state(std::string_view control,
                                            std::string_view window) const {
    const RecordingWindow& target = this->window(window);
    return target.state(target.idOf(control));
}

std::vector<std::string> RecordingToolkit::values(std::string_view control,
                                                  std::string_view property,
                                                  std::string_view window) const {
    const std::string prefix =
        std::string(window.empty() ? std::string_view(firstWindowName_) : window) + "." +
        std::string(control) + "." + std::string(property) + " = ";
    std::vector<std::string> found;
    for (const std::string& line : log_) {
        if (line.starts_with(prefix)) {
            found.push_back(line.substr(prefix.size()));
        }
    }
    return found;
}

} // namespace zelfin::ui
