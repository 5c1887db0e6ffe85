#include "frontends/terminal/TerminalWindow.h"

#include "frontends/terminal/TerminalToolkit.h"

#include <algorithm>
#include <stdexcept>

namespace zelfin::terminal {
namespace {

using ui::ControlKind;

constexpr int kBarCells = 20;
// Controls whose tops differ by this much or less stand on one line.
constexpr int kRowTolerance = 4;
// Rough width of a label's character at the window's 11-pixel fonts: enough to tell when a long
// text runs under the label to its right, as "This drive is not allowed ..." runs under "to".
constexpr int kPixelsPerCharacter = 5;

std::string bar(const TerminalControl& c) {
    const int span = std::max(1, c.maximum - c.minimum);
    const int clamped = std::clamp(c.position, c.minimum, c.maximum);
    const int filled = (clamped - c.minimum) * kBarCells / span;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(kBarCells - filled), '.') + "]";
}

// The message line animates its dots; a person needs to read it again only when its words change.
std::string withoutTrailingDots(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == '.' || text[end - 1] == ' ')) {
        --end;
    }
    return std::string(text.substr(0, end));
}

} // namespace

std::string withoutAccessMark(std::string_view caption) {
    std::string out;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) {
            ++i;
        }
        out += caption[i];
    }
    return out;
}

TerminalWindow::TerminalWindow(TerminalToolkit& kit, const ui::WindowDescription& description,
                               ui::WindowEvents& events)
    : kit_(kit), description_(description), events_(events), caption_(description.caption) {
    if (description.titleBar.windowMenu) {
        menu_ = {"&Restore", "&Move", "&Size", "Mi&nimize", "Ma&ximize", "-", "&Close"};
    }
    controls_.resize(description.controls.size());
    for (const ui::ControlDescription& d : description.controls) {
        TerminalControl& c = controls_.at(d.id);
        c.text = std::string(d.text);
        c.minimum = d.rangeMinimum;
        c.maximum = d.rangeMaximum;
        c.intervalMs = d.intervalMs;
        c.enabled = d.kind == ControlKind::Timer ? d.enabled : true;
    }
}

TerminalWindow::~TerminalWindow() {
    kit_.forget(*this);
}

const TerminalControl& TerminalWindow::control(ui::ControlId id) const {
    if (id >= controls_.size()) {
        throw std::out_of_range(std::string(description_.name) + ": no control " +
                                std::to_string(id));
    }
    return controls_[id];
}

TerminalControl& TerminalWindow::control(ui::ControlId id, ControlKind expected) {
    control(static_cast<ui::ControlId>(id)); // range check
    if (description_.controls[id].kind != expected) {
        throw std::logic_error(std::string(description_.name) + "." +
                               std::string(description_.controls[id].name) +
                               ": call does not suit the control");
    }
    kit_.windowChanged();
    return controls_[id];
}

int TerminalWindow::find(std::string_view name) const {
    for (const ui::ControlDescription& d : description_.controls) {
        if (d.name == name) {
            return d.id;
        }
    }
    return -1;
}

void TerminalWindow::setCaption(std::string_view caption) {
    caption_ = std::string(caption);
    kit_.windowChanged();
}

void TerminalWindow::show() {
    shown_ = true;
    printed_.clear();
    kit_.windowChanged();
}

void TerminalWindow::setText(ui::ControlId label, std::string_view text) {
    control(label, ControlKind::Label).text = std::string(text);
}

void TerminalWindow::setFontColour(ui::ControlId label, ui::Colour) {
    control(label, ControlKind::Label); // a terminal keeps its own colours
}

void TerminalWindow::setVisible(ui::ControlId label, bool visible) {
    control(label, ControlKind::Label).visible = visible;
}

void TerminalWindow::setEnabled(ui::ControlId id, bool enabled) {
    control(id); // range check
    const ControlKind kind = description_.controls[id].kind;
    if (kind != ControlKind::PushButton && kind != ControlKind::Timer) {
        throw std::logic_error(std::string(description_.controls[id].name) +
                               ": only buttons and timers are enabled");
    }
    TerminalControl& c = control(id, kind);
    if (kind == ControlKind::Timer && enabled && !c.enabled) {
        c.nextDue = std::chrono::steady_clock::now() + std::chrono::milliseconds(c.intervalMs);
    }
    c.enabled = enabled;
}

void TerminalWindow::clearItems(ui::ControlId list) {
    TerminalControl& c = control(list, ControlKind::DropDownList);
    c.items.clear();
    c.selected = -1;
}

void TerminalWindow::addItem(ui::ControlId list, std::string_view text) {
    control(list, ControlKind::DropDownList).items.emplace_back(text);
}

int TerminalWindow::selectedIndex(ui::ControlId list) const {
    return control(list).selected;
}

void TerminalWindow::selectIndex(ui::ControlId list, int index) {
    TerminalControl& c = control(list, ControlKind::DropDownList);
    c.selected = index >= 0 && index < static_cast<int>(c.items.size()) ? index : -1;
}

void TerminalWindow::setMinimum(ui::ControlId bar, int minimum) {
    control(bar, ControlKind::ProgressBar).minimum = minimum;
}

void TerminalWindow::setMaximum(ui::ControlId bar, int maximum) {
    control(bar, ControlKind::ProgressBar).maximum = maximum;
}

void TerminalWindow::setStep(ui::ControlId bar, int step) {
    control(bar, ControlKind::ProgressBar).step = step;
}

void TerminalWindow::setPosition(ui::ControlId bar, int position) {
    TerminalControl& c = control(bar, ControlKind::ProgressBar);
    c.position = std::clamp(position, c.minimum, c.maximum);
}

void TerminalWindow::stepIt(ui::ControlId bar) {
    TerminalControl& c = control(bar, ControlKind::ProgressBar);
    c.position = std::clamp(c.position + c.step, c.minimum, c.maximum);
}

int TerminalWindow::position(ui::ControlId bar) const {
    return control(bar).position;
}

int TerminalWindow::maximum(ui::ControlId bar) const {
    return control(bar).maximum;
}

void TerminalWindow::setInterval(ui::ControlId timer, unsigned milliseconds) {
    control(timer, ControlKind::Timer).intervalMs = milliseconds;
}

void TerminalWindow::removeWindowMenuItem(int position) {
    if (position >= 0 && position < static_cast<int>(menu_.size())) {
        menu_.erase(menu_.begin() + position);
    }
}

std::vector<StatusLine> TerminalWindow::statusLines() const {
    // Lay the visible controls out by rows, as the window would show them, left to right.
    std::vector<const ui::ControlDescription*> shownControls;
    for (const ui::ControlDescription& d : description_.controls) {
        const bool drawn = d.kind == ControlKind::Label || d.kind == ControlKind::DropDownList ||
                           d.kind == ControlKind::ProgressBar;
        if (drawn && controls_[d.id].visible) {
            shownControls.push_back(&d);
        }
    }
    std::stable_sort(shownControls.begin(), shownControls.end(),
                     [](auto* a, auto* b) { return a->bounds.top < b->bounds.top; });

    std::vector<StatusLine> lines;
    std::size_t i = 0;
    while (i < shownControls.size()) {
        std::size_t end = i + 1;
        while (end < shownControls.size() &&
               shownControls[end]->bounds.top - shownControls[i]->bounds.top <= kRowTolerance) {
            ++end;
        }
        std::vector<const ui::ControlDescription*> row(shownControls.begin() + i,
                                                       shownControls.begin() + end);
        std::stable_sort(row.begin(), row.end(),
                         [](auto* a, auto* b) { return a->bounds.left < b->bounds.left; });
        // Beside a progress bar the bar alone decides when the line is worth printing again.
        const bool rowHasBar = std::any_of(
            row.begin(), row.end(), [](auto* d) { return d->kind == ControlKind::ProgressBar; });
        StatusLine line;
        line.place = "row " + std::to_string(shownControls[i]->bounds.top);
        int textEnd = 0; // where the text printed so far ends in the window, in pixels
        for (const ui::ControlDescription* d : row) {
            const TerminalControl& c = controls_[d->id];
            if (d->kind == ControlKind::Label && d->bounds.left < textEnd) {
                continue; // covered by the text to its left: a person reads that one
            }
            if (d->kind == ControlKind::DropDownList) {
                // The drop-down is a numbered list of its own, one item a line.
                for (std::size_t item = 0; item < c.items.size(); ++item) {
                    const bool selected = static_cast<int>(item) == c.selected;
                    StatusLine entry{"item " + std::to_string(item),
                                     std::string(selected ? "  > [" : "    [") +
                                         std::to_string(item) + "] " + c.items[item],
                                     {}};
                    entry.key = entry.text;
                    lines.push_back(std::move(entry));
                }
                if (c.items.empty()) {
                    lines.push_back({"item none", "    (no drives)", "    (no drives)"});
                }
                continue;
            }
            const std::string piece = d->kind == ControlKind::ProgressBar ? bar(c) : c.text;
            const std::string key = d->kind == ControlKind::ProgressBar ? bar(c)
                                    : rowHasBar                         ? std::string()
                                                : withoutTrailingDots(c.text);
            if (piece.empty()) {
                continue;
            }
            line.text += (line.text.empty() ? "" : " ") + piece;
            textEnd = d->kind == ControlKind::Label
                          ? d->bounds.left + static_cast<int>(piece.size()) * kPixelsPerCharacter
                          : d->bounds.left + d->bounds.width;
            line.key += "|" + key;
        }
        if (!line.text.empty()) {
            lines.push_back(std::move(line));
        }
        i = end;
    }
    return lines;
}

} // namespace zelfin::terminal
