#include "frontends/terminal/TerminalToolkit.h"

#include "frontends/terminal/TerminalWindow.h"

#include <algorithm>
#include <cctype>
#include <istream>
#include <ostream>
#include <stdexcept>

namespace zelfin::terminal {
namespace {

using Clock = std::chrono::steady_clock;

// While the program ends, jobs still running hand their ends to the main thread: poll for them.
constexpr auto kShutdownPoll = std::chrono::milliseconds(50);

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto first = text.find_first_not_of(" \t\r");
    const auto last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// The access key of a caption: "&Later" -> 'l'.
char accessKey(std::string_view caption) {
    const auto mark = caption.find('&');
    if (mark == std::string_view::npos || mark + 1 >= caption.size()) {
        return caption.empty() ? '\0' : static_cast<char>(std::tolower(caption.front()));
    }
    return static_cast<char>(std::tolower(static_cast<unsigned char>(caption[mark + 1])));
}

} // namespace

TerminalToolkit::TerminalToolkit(std::istream& in, std::ostream& out, TerminalScript script)
    : in_(in), out_(out), script_(std::move(script)) {
}

TerminalToolkit::~TerminalToolkit() = default;

std::unique_ptr<ui::Window> TerminalToolkit::createWindow(const ui::WindowDescription& description,
                                                          ui::WindowEvents& events, ui::Window*) {
    auto window = std::make_unique<TerminalWindow>(*this, description, events);
    windows_.push_back(window.get());
    return window;
}

void TerminalToolkit::forget(const TerminalWindow& window) {
    std::erase(windows_, &window);
    std::erase(modalStack_, &window);
}

TerminalWindow* TerminalToolkit::mainWindow() const {
    return windows_.empty() ? nullptr : windows_.front();
}

void TerminalToolkit::flush() {
    for (TerminalWindow* window : windows_) {
        if (!window->shown()) {
            continue;
        }
        std::vector<StatusLine>& printed = window->printed();
        const std::vector<StatusLine> now = window->statusLines();
        if (printed.empty()) {
            out_ << "\n== " << window->caption() << " ==\n";
            for (const StatusLine& line : now) {
                out_ << line.text << '\n';
            }
        } else {
            // Print again only the lines a person would notice changing.
            for (const StatusLine& line : now) {
                const auto before =
                    std::find_if(printed.begin(), printed.end(),
                                 [&](const StatusLine& p) { return p.place == line.place; });
                if (before == printed.end() || before->key != line.key) {
                    out_ << line.text << '\n';
                }
            }
        }
        printed = now.empty() ? std::vector<StatusLine>{{"empty", "", ""}} : now;
    }
    dirty_ = false;
    out_.flush();
}

std::optional<std::string> TerminalToolkit::readLine(std::string_view prompt) {
    out_ << prompt;
    out_.flush();
    std::string line;
    if (!std::getline(in_, line)) {
        out_ << '\n';
        return std::nullopt;
    }
    return line;
}

std::optional<bool> TerminalToolkit::nextScriptedAnswer() {
    if (!script_.answers.empty()) {
        const bool answer = script_.answers.front();
        script_.answers.pop_front();
        return answer;
    }
    if (script_.answerYesToAll) {
        return true;
    }
    return std::nullopt;
}

ui::DialogAnswer TerminalToolkit::messageDialog(ui::DialogType type, std::string_view text,
                                                ui::DialogButtons buttons) {
    flush();
    if (type == ui::DialogType::Error) {
        sawFailure_ = true;
        lastError_ = text;
    } else if (type == ui::DialogType::Information) {
        sawSuccess_ = true;
    }
    out_ << "\n--- " << ui::dialogCaption(type) << " ---\n" << text << '\n';
    if (buttons == ui::DialogButtons::Ok) {
        const bool read = script_.interactive && readLine("[OK: press Enter] ").has_value();
        if (!read && type == ui::DialogType::Warning) {
            // A warning with OK asks a person to do something at the drive (take the disc out,
            // push the tray in). Pressing OK for nobody would repeat the check for ever.
            sawUnanswerable_ = true;
            out_ << "zelfin-cli: this needs someone at the drive and no one can answer; stopping"
                    " before any further drive command\n";
            out_.flush();
            terminate();
        } else if (!read) {
            out_ << "[OK]\n";
        }
        return ui::DialogAnswer::Ok;
    }

    std::optional<bool> answer = nextScriptedAnswer();
    if (answer) {
        out_ << "[Yes/No] " << (*answer ? "Yes" : "No") << " (answered in advance)\n";
    } else if (script_.interactive) {
        while (!answer) {
            const std::optional<std::string> line = readLine("[Yes/No] (y/n) ");
            if (!line) {
                answer = false; // end of input: no one said yes
                break;
            }
            const std::string reply = lowered(*line);
            if (reply == "y" || reply == "yes") {
                answer = true;
            } else if (reply == "n" || reply == "no") {
                answer = false;
            }
        }
    } else {
        sawUnanswerable_ = true;
        out_ << "zelfin-cli: this question has no answer and standard input is not a terminal;"
                " answering No (give --yes or --answers to answer in advance)\n";
        answer = false;
    }
    if (!*answer) {
        sawDecline_ = true;
    }
    out_.flush();
    return *answer ? ui::DialogAnswer::Yes : ui::DialogAnswer::No;
}

void TerminalToolkit::systemBox(std::string_view text, std::string_view caption, std::uint32_t) {
    flush();
    sawFailure_ = true;
    lastError_ = text;
    out_ << "\n--- " << caption << " ---\n" << text << "\n[OK]\n";
    out_.flush();
}

ui::ModalResult TerminalToolkit::showModal(ui::Window& window) {
    auto* modal = dynamic_cast<TerminalWindow*>(&window);
    if (modal == nullptr) {
        throw std::logic_error("showModal: not a window of this toolkit");
    }
    tasks_.runQueued();
    modal->show();
    flush();
    modalStack_.push_back(modal);
    modalResults_.push_back(ui::ModalResult::None);

    std::vector<const ui::ControlDescription*> buttons;
    for (const ui::ControlDescription& d : modal->description().controls) {
        if (d.kind == ui::ControlKind::PushButton) {
            buttons.push_back(&d);
        }
    }
    std::sort(buttons.begin(), buttons.end(),
              [](auto* a, auto* b) { return a->tabOrder < b->tabOrder; });

    const ui::ControlDescription* pressed = nullptr;
    if (script_.interactive) {
        std::string prompt = "[";
        for (const ui::ControlDescription* b : buttons) {
            prompt += (prompt.size() > 1 ? " / " : "") + withoutAccessMark(b->text) + " (" +
                      accessKey(b->text) + ")";
        }
        prompt += "] ";
        while (pressed == nullptr) {
            const std::optional<std::string> line = readLine(prompt);
            if (!line) {
                break;
            }
            const std::string reply = lowered(*line);
            for (const ui::ControlDescription* b : buttons) {
                if (reply.size() == 1 && reply[0] == accessKey(b->text)) {
                    pressed = b;
                }
            }
        }
    }
    if (pressed == nullptr) {
        // Nobody to ask: take the button that closes the window without acting (Later).
        for (const ui::ControlDescription* b : buttons) {
            if (b->button == ui::ButtonKind::Close) {
                pressed = b;
                break;
            }
        }
        if (pressed != nullptr) {
            out_ << "[" << withoutAccessMark(pressed->text) << "] (no one at the keyboard)\n";
        }
    }
    if (pressed != nullptr) {
        pressButton(*modal, pressed->id);
    }
    const ui::ModalResult result = modalResults_.back();
    modalResults_.pop_back();
    std::erase(modalStack_, modal);
    return result;
}

void TerminalToolkit::closeWindow(TerminalWindow& window, ui::ModalResult result) {
    const auto place = std::find(modalStack_.begin(), modalStack_.end(), &window);
    if (place != modalStack_.end()) {
        modalResults_[static_cast<std::size_t>(place - modalStack_.begin())] = result;
        return;
    }
    // The first window is the main window: closing it ends the program.
    if (&window == mainWindow()) {
        terminate();
    }
}

void TerminalToolkit::pressButton(TerminalWindow& window, ui::ControlId button) {
    const ui::ControlDescription& d = window.description().controls[button];
    if (d.kind != ui::ControlKind::PushButton || !window.control(button).enabled) {
        return;
    }
    window.events().controlClicked(button);
    if (d.button == ui::ButtonKind::Close) {
        closeWindow(window, ui::ModalResult::Cancel);
    } else if (d.button == ui::ButtonKind::Yes) {
        closeWindow(window, ui::ModalResult::Yes);
    }
}

void TerminalToolkit::runOnMainThread(std::function<void()> task) {
    tasks_.push(std::move(task));
}

std::optional<Clock::time_point> TerminalToolkit::nextTimerDue() const {
    std::optional<Clock::time_point> due;
    for (const TerminalWindow* window : windows_) {
        for (const ui::ControlDescription& d : window->description().controls) {
            const TerminalControl& c = window->control(d.id);
            if (d.kind == ui::ControlKind::Timer && c.enabled && (!due || c.nextDue < *due)) {
                due = c.nextDue;
            }
        }
    }
    return due;
}

bool TerminalToolkit::fireDueTimers() {
    bool fired = false;
    const auto now = Clock::now();
    const std::vector<TerminalWindow*> live = windows_;
    for (TerminalWindow* window : live) {
        if (std::find(windows_.begin(), windows_.end(), window) == windows_.end()) {
            continue; // a handler closed it
        }
        for (const ui::ControlDescription& d : window->description().controls) {
            if (d.kind != ui::ControlKind::Timer) {
                continue;
            }
            TerminalControl& c = window->control(d.id, ui::ControlKind::Timer);
            if (!c.enabled || c.nextDue > now) {
                continue;
            }
            const auto interval = std::chrono::milliseconds(std::max(1u, c.intervalMs));
            c.nextDue = std::max(c.nextDue + interval, now);
            window->events().timerFired(d.id);
            fired = true;
        }
    }
    return fired;
}

void TerminalToolkit::processMessages() {
    tasks_.runQueued();
    fireDueTimers();
    if (dirty_) {
        flush();
    }
}

void TerminalToolkit::waitForMessages() {
    if (dirty_) {
        flush();
    }
    if (tasks_.size() != 0) {
        return;
    }
    if (const std::optional<Clock::time_point> due = nextTimerDue()) {
        tasks_.waitUntil(*due);
        return;
    }
    if (terminated_) {
        tasks_.waitUntil(Clock::now() + kShutdownPoll);
        return;
    }
    // Nothing runs and nothing is due: the window waits for its user.
    actWhenIdle();
}

void TerminalToolkit::actWhenIdle() {
    TerminalWindow* main = mainWindow();
    if (main == nullptr || !main->shown()) {
        terminate();
        return;
    }
    const int list = main->find("cboDrives");
    const int update = main->find("cmdUpdate");
    const int close = main->find("cmdClose");
    if (list < 0 || update < 0 || close < 0) {
        throw std::logic_error("terminal toolkit: the main window lacks its drive list or buttons");
    }

    if (script_.driveIndex) {
        const int index = *script_.driveIndex;
        script_.driveIndex.reset();
        const auto& items = main->control(static_cast<ui::ControlId>(list)).items;
        if (index < 0 || index >= static_cast<int>(items.size())) {
            lastError_ = "there is no drive " + std::to_string(index) + " in the list (" +
                         std::to_string(items.size()) + " listed)";
            out_ << "zelfin-cli: " << lastError_ << '\n';
            sawNoSuchDrive_ = true;
            script_.pressUpdate = false;
            pressButton(*main, static_cast<ui::ControlId>(close));
            return;
        }
        main->selectIndex(static_cast<ui::ControlId>(list), index);
        main->events().selectionChanged(static_cast<ui::ControlId>(list));
        return;
    }
    if (script_.pressUpdate) {
        script_.pressUpdate = false;
        if (!main->control(static_cast<ui::ControlId>(update)).enabled) {
            lastError_ = "Update is not available for the selected drive";
            out_ << "zelfin-cli: " << lastError_ << '\n';
            sawFailure_ = true;
            pressButton(*main, static_cast<ui::ControlId>(close));
            return;
        }
        out_ << "[Update]\n";
        pressButton(*main, static_cast<ui::ControlId>(update));
        return;
    }
    if (script_.interactive) {
        promptAtIdle(*main);
        return;
    }
    // Nothing more was asked of the program and nobody is there to ask for more.
    pressButton(*main, static_cast<ui::ControlId>(close));
}

void TerminalToolkit::promptAtIdle(TerminalWindow& main) {
    const auto list = static_cast<ui::ControlId>(main.find("cboDrives"));
    const auto update = static_cast<ui::ControlId>(main.find("cmdUpdate"));
    const auto close = static_cast<ui::ControlId>(main.find("cmdClose"));
    const bool canUpdate = main.control(update).enabled;
    const std::string prompt = std::string("Drive number to choose") +
                               (canUpdate ? ", u to update" : "") + ", c to close: ";
    const std::optional<std::string> line = readLine(prompt);
    if (!line) {
        pressButton(main, close);
        return;
    }
    const std::string reply = lowered(*line);
    if (reply == "c") {
        pressButton(main, close);
    } else if (reply == "u" && canUpdate) {
        pressButton(main, update);
    } else if (!reply.empty() && std::all_of(reply.begin(), reply.end(), ::isdigit)) {
        const int number = reply.size() <= 2 ? std::stoi(reply) : -1;
        if (number >= 0 && number < static_cast<int>(main.control(list).items.size())) {
            main.selectIndex(list, number);
            main.events().selectionChanged(list);
            main.printed().clear(); // show the whole window again with the new choice
            windowChanged();
        }
    }
}

void TerminalToolkit::terminate() {
    terminated_ = true;
}

Ending TerminalToolkit::ending() const {
    // Nothing was asked of any drive: the command line was wrong.
    if (sawNoSuchDrive_) {
        return Ending::NoSuchDrive;
    }
    if (sawFailure_) {
        return Ending::Failure;
    }
    if (sawUnanswerable_) {
        return Ending::Unanswerable;
    }
    if (sawSuccess_) {
        return Ending::Success;
    }
    if (sawDecline_) {
        return Ending::Declined;
    }
    return Ending::Nothing;
}

} // namespace zelfin::terminal
