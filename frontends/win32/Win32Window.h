#pragma once
// One window of the Win32 toolkit, built from its description: a top-level window whose labels
// and frames it paints itself (in creation order, each in its own colour), with real child
// windows for the drop-down list, the progress bar and the buttons, and window timers.

#include "frontends/win32/WinApi.h"
#include "ui/Toolkit.h"

#include <string>
#include <vector>

namespace zelfin::win32ui {

class Win32Toolkit;

class Win32Window final : public ui::Window {
public:
    Win32Window(Win32Toolkit& kit, const ui::WindowDescription& description,
                ui::WindowEvents& events, Win32Window* owner);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

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
    bool hasWindowMenu() const override;
    void removeWindowMenuItem(int position) override;

    HWND handle() const { return hwnd_; }
    // The child window of a control, or null for what the window paints itself.
    HWND controlHandle(ui::ControlId id) const { return controls_.at(id).hwnd; }
    // The tooltip control of the buttons that have tooltips, or null.
    HWND tooltipHandle() const { return tooltips_; }
    const ui::WindowDescription& description() const { return description_; }

    // A click as the user makes it: the handler, then what the button's kind does.
    void pressButton(ui::ControlId button);
    // The enabled push button whose caption has this access key, or -1.
    int buttonWithAccessKey(char key) const;
    // The push button that has the keyboard focus, or -1.
    int focusedButton() const;
    // What Return presses: the focused button, else the window's default button, or -1.
    int returnButton() const;
    // The first close-kind button, or -1.
    int closeButton() const;

    // The modal state, kept by the toolkit's modal loop.
    ui::ModalResult modalResult = ui::ModalResult::None;
    bool modal = false;

    // Child window ids are the control's id past this base, clear of IDOK and IDCANCEL.
    static constexpr int kChildIdBase = 100;

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    struct Control {
        HWND hwnd = nullptr;  // null for what the window paints itself, and for timers
        HFONT font = nullptr; // owned; null: the window's default font
        std::string text;     // label text, or the button caption
        std::string tooltip;  // kept alive for the tooltip control
        ui::Colour colour;
        bool visible = true;
        bool enabled = true;
        int minimum = 0;
        int maximum = 100;
        int step = 10;
        int position = 0;
        unsigned intervalMs = 0;
    };

    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void createControl(const ui::ControlDescription& d);
    void createTooltips();
    void orderTabStops();
    Control& control(ui::ControlId id, ui::ControlKind kind);
    const Control& control(ui::ControlId id, ui::ControlKind kind) const;
    HFONT fontFor(const ui::Font& font);
    RECT labelArea(ui::ControlId label) const;
    void invalidateLabel(ui::ControlId label);
    void paint();
    void drawButton(const DRAWITEMSTRUCT& item);
    void drawListItem(const DRAWITEMSTRUCT& item);
    void startTimer(ui::ControlId timer);
    void command(int childId, int code);

    Win32Toolkit& kit_;
    const ui::WindowDescription& description_;
    ui::WindowEvents& events_;
    HWND hwnd_ = nullptr;
    HWND tooltips_ = nullptr;
    HFONT defaultFont_ = nullptr;
    std::vector<Control> controls_;
};

} // namespace zelfin::win32ui
