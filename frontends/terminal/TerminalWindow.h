#pragma once
// One window of the terminal toolkit: the state of every control of its description, and the
// status lines that state reads as.

#include "ui/Toolkit.h"

#include <chrono>
#include <string>
#include <vector>

namespace zelfin::terminal {

class TerminalToolkit;

struct TerminalControl {
    std::string text;
    bool visible = true;
    bool enabled = true;
    std::vector<std::string> items;
    int selected = -1;
    int minimum = 0;
    int maximum = 100;
    int step = 1;
    int position = 0;
    unsigned intervalMs = 0;
    std::chrono::steady_clock::time_point nextDue{};
};

// A status line of the window, with the key that decides whether it changed enough to print
// again (the progress bar by tenths, the message line without its animated dots).
struct StatusLine {
    std::string place; // which line of the window it is
    std::string text;
    std::string key;
};

class TerminalWindow final : public ui::Window {
public:
    TerminalWindow(TerminalToolkit& kit, const ui::WindowDescription& description,
                   ui::WindowEvents& events);
    ~TerminalWindow() override;
    TerminalWindow(const TerminalWindow&) = delete;
    TerminalWindow& operator=(const TerminalWindow&) = delete;

    void setCaption(std::string_view caption) override;
    void show() override;
    void setText(ui::ControlId label, std::string_view text) override;
    void setFontColour(ui::ControlId label, ui::Colour colour) override;
    void setVisible(ui::ControlId label, bool visible) override;
    void setEnabled(ui::ControlId control, bool enabled) override;
    void clearItems(ui::ControlId list) override;
    void addItem(ui::ControlId list, std::string_view text) override;
    int selectedIndex(ui::ControlId list) const override;
    void selectIndex(ui::ControlId list, int index) override;
    void setMinimum(ui::ControlId bar, int minimum) override;
    void setMaximum(ui::ControlId bar, int maximum) override;
    void setStep(ui::ControlId bar, int step) override;
    void setPosition(ui::ControlId bar, int position) override;
    void stepIt(ui::ControlId bar) override;
    int position(ui::ControlId bar) const override;
    int maximum(ui::ControlId bar) const override;
    void setInterval(ui::ControlId timer, unsigned milliseconds) override;
    bool hasWindowMenu() const override { return !menu_.empty(); }
    void removeWindowMenuItem(int position) override;

    const ui::WindowDescription& description() const { return description_; }
    ui::WindowEvents& events() const { return events_; }
    const std::string& caption() const { return caption_; }
    bool shown() const { return shown_; }
    const TerminalControl& control(ui::ControlId id) const;
    TerminalControl& control(ui::ControlId id, ui::ControlKind expected);
    // The control of that name, or -1.
    int find(std::string_view name) const;

    // The window read as lines, top to bottom.
    std::vector<StatusLine> statusLines() const;
    // What was printed last, so only changed lines are printed again.
    std::vector<StatusLine>& printed() { return printed_; }

private:
    TerminalToolkit& kit_;
    const ui::WindowDescription& description_;
    ui::WindowEvents& events_;
    std::string caption_;
    bool shown_ = false;
    std::vector<std::string> menu_;
    std::vector<TerminalControl> controls_;
    std::vector<StatusLine> printed_;
};

// "&Update" reads "Update" on a terminal.
std::string withoutAccessMark(std::string_view caption);

} // namespace zelfin::terminal
