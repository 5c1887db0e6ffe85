#include "frontends/win32/Win32Window.h"

#include "frontends/win32/Win32Toolkit.h"

#include <algorithm>
#include <stdexcept>

namespace zelfin::win32ui {
namespace {

// Timer ids are the control's id past this base.
constexpr UINT_PTR kTimerIdBase = 1000;
constexpr int kDropDownRows = 8;
constexpr int kComboFrame = 6; // the selection field's border, above and below

// The selection field inside the drop-down's described height.
int fieldHeight(const ui::ControlDescription& d) {
    return d.bounds.height - kComboFrame;
}

std::string named(const ui::WindowDescription& d, std::string_view what) {
    return std::string(what) + " (window " + std::string(d.className) + ")";
}

bool takesFocus(const ui::ControlDescription& d) {
    return d.kind == ui::ControlKind::DropDownList || d.kind == ui::ControlKind::PushButton;
}

// "Courier New" must be asked for with a fixed pitch, or wine substitutes a proportional face.
bool fixedPitchFace(std::string_view face) {
    return face == "Courier New" || face == "Courier";
}

DWORD windowStyle(const ui::WindowDescription& d) {
    DWORD style = WS_CAPTION | WS_CLIPCHILDREN;
    style |= d.border == ui::BorderStyle::Sizeable ? WS_OVERLAPPED | WS_THICKFRAME : WS_POPUP;
    if (d.titleBar.windowMenu) {
        style |= WS_SYSMENU;
    }
    if (d.titleBar.minimiseBox) {
        style |= WS_MINIMIZEBOX;
    }
    if (d.titleBar.maximiseBox) {
        style |= WS_MAXIMIZEBOX;
    }
    return style;
}

// Access keys are ASCII letters and digits; the C runtime's toupper is one import more.
char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

char accessKeyOf(std::string_view caption) {
    const auto mark = caption.find('&');
    if (mark == std::string_view::npos || mark + 1 >= caption.size()) {
        return '\0';
    }
    return upper(caption[mark + 1]);
}

} // namespace

Win32Window::Win32Window(Win32Toolkit& kit, const ui::WindowDescription& description,
                         ui::WindowEvents& events, Win32Window* owner)
    : kit_(kit), description_(description), events_(events),
      controls_(description.controls.size()) {
    const std::string className(description.className);
    kit_.registerClass(className.c_str());

    RECT centreOf{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (description.placement == ui::Placement::OwnerCentre && owner != nullptr) {
        GetWindowRect(owner->handle(), &centreOf);
    }
    const int left = centreOf.left + (centreOf.right - centreOf.left - description.outerWidth) / 2;
    const int top = centreOf.top + (centreOf.bottom - centreOf.top - description.outerHeight) / 2;
    const DWORD exStyle = description.border == ui::BorderStyle::Dialog ? WS_EX_DLGMODALFRAME : 0;
    const std::string caption(description.caption);
    hwnd_ = CreateWindowExA(exStyle, className.c_str(), caption.c_str(), windowStyle(description),
                            std::max(0, left), std::max(0, top), description.outerWidth,
                            description.outerHeight, owner != nullptr ? owner->handle() : nullptr,
                            nullptr, kit_.instance(), this);
    if (hwnd_ == nullptr) {
        throw std::runtime_error("cannot create " + named(description, "the window") + ": error " +
                                 std::to_string(GetLastError()));
    }
    if (description.ownIcon) {
        const auto icon = reinterpret_cast<LPARAM>(LoadIconA(kit_.instance(), MAKEINTRESOURCEA(2)));
        SendMessageA(hwnd_, WM_SETICON, ICON_BIG, icon);
        SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, icon);
    }
    if (description.titleBar.greyedMinimiseMaximise) {
        // Without their boxes the two commands stay in the window menu, greyed.
        if (HMENU menu = GetSystemMenu(hwnd_, FALSE)) {
            EnableMenuItem(menu, SC_MINIMIZE, MF_BYCOMMAND | MF_GRAYED);
            EnableMenuItem(menu, SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED);
        }
    }
    defaultFont_ = fontFor(description.defaultFont);
    for (const ui::ControlDescription& d : description.controls) {
        createControl(d);
    }
    orderTabStops();
    createTooltips();
}

Win32Window::~Win32Window() {
    kit_.forget(*this);
    // The window procedure must not reach this object while it is being taken apart.
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    if (tooltips_ != nullptr) {
        DestroyWindow(tooltips_);
    }
    DestroyWindow(hwnd_);
    for (const Control& c : controls_) {
        if (c.font != nullptr) {
            DeleteObject(c.font);
        }
    }
    if (defaultFont_ != nullptr) {
        DeleteObject(defaultFont_);
    }
}

HFONT Win32Window::fontFor(const ui::Font& font) {
    const std::string face(font.face);
    const DWORD pitch =
        fixedPitchFace(font.face) ? FIXED_PITCH | FF_MODERN : DEFAULT_PITCH | FF_DONTCARE;
    // A negative height asks for the character height, without the internal leading.
    HFONT handle = CreateFontA(-font.heightPixels, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE,
                               FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               DEFAULT_QUALITY, pitch, face.c_str());
    if (handle == nullptr) {
        throw std::runtime_error("cannot create the font " + face + " " +
                                 std::to_string(font.heightPixels) + " px");
    }
    return handle;
}

void Win32Window::createControl(const ui::ControlDescription& d) {
    Control& c = controls_.at(d.id);
    c.text = std::string(d.text);
    c.tooltip = std::string(d.tooltip);
    c.colour = d.hasFont ? d.font.colour : description_.defaultFont.colour;
    c.enabled = d.kind == ui::ControlKind::Timer ? d.enabled : true;
    c.minimum = d.rangeMinimum;
    c.maximum = d.rangeMaximum;
    c.intervalMs = d.intervalMs;
    if (d.hasFont && d.kind != ui::ControlKind::LoweredFrame && d.kind != ui::ControlKind::Timer) {
        c.font = fontFor(d.font);
    }

    const char* windowClass = nullptr;
    DWORD style = WS_CHILD | WS_VISIBLE | (takesFocus(d) ? WS_TABSTOP : 0);
    int height = d.bounds.height;
    switch (d.kind) {
    case ui::ControlKind::LoweredFrame:
    case ui::ControlKind::Label:
        return; // painted by the window
    case ui::ControlKind::Timer:
        if (c.enabled) {
            startTimer(d.id);
        }
        return;
    case ui::ControlKind::DropDownList:
        windowClass = "COMBOBOX";
        style |= WS_VSCROLL | (d.choiceOnly ? CBS_DROPDOWNLIST : CBS_DROPDOWN);
        // Drawn by the window: only an owner-drawn list takes an item height everywhere.
        style |= d.itemHeight > 0 ? CBS_OWNERDRAWFIXED | CBS_HASSTRINGS : 0;
        height += d.itemHeight * kDropDownRows + 2; // room for the list when it drops down
        break;
    case ui::ControlKind::ProgressBar:
        windowClass = PROGRESS_CLASSA;
        style |= d.continuousFill ? PBS_SMOOTH : 0;
        break;
    case ui::ControlKind::PushButton:
        windowClass = "BUTTON";
        style |= d.button == ui::ButtonKind::Plain ? BS_PUSHBUTTON : BS_OWNERDRAW;
        break;
    }
    c.hwnd = CreateWindowExA(0, windowClass, c.text.c_str(), style, d.bounds.left, d.bounds.top,
                             d.bounds.width, height, hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kChildIdBase + d.id)),
                             kit_.instance(), nullptr);
    if (c.hwnd == nullptr) {
        throw std::runtime_error("cannot create " + named(description_, d.name) + ": error " +
                                 std::to_string(GetLastError()));
    }
    SendMessageA(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(c.font ? c.font : defaultFont_),
                 FALSE);
    if (d.kind == ui::ControlKind::DropDownList && d.itemHeight > 0) {
        // The font changed the heights the list measured at creation: set them again.
        SendMessageA(c.hwnd, CB_SETITEMHEIGHT, 0, d.itemHeight);
        SendMessageA(c.hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), fieldHeight(d));
    }
    if (d.kind == ui::ControlKind::ProgressBar) {
        // The 16-bit range message is the one every version of the control knows.
        SendMessageA(c.hwnd, PBM_SETRANGE, 0, MAKELPARAM(c.minimum, c.maximum));
        SendMessageA(c.hwnd, PBM_SETPOS, static_cast<WPARAM>(c.minimum), 0);
        c.position = c.minimum;
    }
}

void Win32Window::orderTabStops() {
    // Tab moves through siblings in their z-order: put the focusable controls in tab order.
    std::vector<const ui::ControlDescription*> stops;
    for (const ui::ControlDescription& d : description_.controls) {
        if (takesFocus(d)) {
            stops.push_back(&d);
        }
    }
    std::stable_sort(stops.begin(), stops.end(),
                     [](auto* a, auto* b) { return a->tabOrder < b->tabOrder; });
    for (const ui::ControlDescription* d : stops) {
        SetWindowPos(controls_[d->id].hwnd, HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void Win32Window::createTooltips() {
    for (const ui::ControlDescription& d : description_.controls) {
        Control& c = controls_[d.id];
        if (c.tooltip.empty() || c.hwnd == nullptr) {
            continue;
        }
        if (tooltips_ == nullptr) {
            tooltips_ =
                CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                                nullptr, kit_.instance(), nullptr);
            if (tooltips_ == nullptr) {
                return; // a window without tooltips still works
            }
        }
        TOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V1_SIZE; // the size every version of the control accepts
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hwnd_;
        tool.uId = reinterpret_cast<UINT_PTR>(c.hwnd);
        tool.lpszText = c.tooltip.data();
        SendMessageA(tooltips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

Win32Window::Control& Win32Window::control(ui::ControlId id, ui::ControlKind kind) {
    if (id >= controls_.size() || description_.controls[id].kind != kind) {
        throw std::logic_error("control " + std::to_string(id) + " of " +
                               named(description_, "a window") + " is not of the kind asked for");
    }
    return controls_[id];
}

const Win32Window::Control& Win32Window::control(ui::ControlId id, ui::ControlKind kind) const {
    return const_cast<Win32Window*>(this)->control(id, kind);
}

void Win32Window::setCaption(std::string_view caption) {
    SetWindowTextA(hwnd_, std::string(caption).c_str());
}

void Win32Window::show() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd_);
    UpdateWindow(hwnd_);
    const ui::ControlDescription* first = nullptr;
    for (const ui::ControlDescription& d : description_.controls) {
        if (takesFocus(d) && IsWindowEnabled(controls_[d.id].hwnd) &&
            (first == nullptr || d.tabOrder < first->tabOrder)) {
            first = &d;
        }
    }
    if (first != nullptr) {
        SetFocus(controls_[first->id].hwnd);
    }
}

void Win32Window::setText(ui::ControlId label, std::string_view text) {
    Control& c = control(label, ui::ControlKind::Label);
    if (c.text == text) {
        return;
    }
    invalidateLabel(label);
    c.text = std::string(text);
    invalidateLabel(label);
}

void Win32Window::setFontColour(ui::ControlId label, ui::Colour colour) {
    Control& c = control(label, ui::ControlKind::Label);
    if (!(c.colour == colour)) {
        c.colour = colour;
        invalidateLabel(label);
    }
}

void Win32Window::setVisible(ui::ControlId label, bool visible) {
    Control& c = control(label, ui::ControlKind::Label);
    if (c.visible != visible) {
        c.visible = visible;
        invalidateLabel(label);
    }
}

void Win32Window::setEnabled(ui::ControlId id, bool enabled) {
    if (id >= controls_.size()) {
        throw std::logic_error("no control " + std::to_string(id) + " in " +
                               named(description_, "a window"));
    }
    Control& c = controls_[id];
    const ui::ControlKind kind = description_.controls[id].kind;
    if (kind == ui::ControlKind::Timer) {
        if (c.enabled != enabled) {
            c.enabled = enabled;
            if (enabled) {
                startTimer(id);
            } else {
                KillTimer(hwnd_, kTimerIdBase + id);
            }
        }
        return;
    }
    if (kind != ui::ControlKind::PushButton) {
        throw std::logic_error("setEnabled on " +
                               named(description_, description_.controls[id].name));
    }
    c.enabled = enabled;
    const bool hadFocus = !enabled && GetFocus() == c.hwnd;
    EnableWindow(c.hwnd, enabled ? TRUE : FALSE);
    if (hadFocus) {
        // A disabled control keeps no focus: hand it on, so the keyboard still reaches us.
        if (HWND next = GetNextDlgTabItem(hwnd_, c.hwnd, FALSE)) {
            SetFocus(next);
        } else {
            SetFocus(hwnd_);
        }
    }
}

void Win32Window::startTimer(ui::ControlId timer) {
    const Control& c = controls_[timer];
    if (SetTimer(hwnd_, kTimerIdBase + timer, std::max(1u, c.intervalMs), nullptr) == 0) {
        throw std::runtime_error("no window timer left for " +
                                 named(description_, description_.controls[timer].name));
    }
}

void Win32Window::setInterval(ui::ControlId timer, unsigned milliseconds) {
    Control& c = control(timer, ui::ControlKind::Timer);
    c.intervalMs = milliseconds;
    if (c.enabled) {
        startTimer(timer); // the same id replaces the running timer
    }
}

void Win32Window::clearItems(ui::ControlId list) {
    SendMessageA(control(list, ui::ControlKind::DropDownList).hwnd, CB_RESETCONTENT, 0, 0);
}

void Win32Window::addItem(ui::ControlId list, std::string_view text) {
    const std::string item(text);
    const LRESULT added = SendMessageA(control(list, ui::ControlKind::DropDownList).hwnd,
                                       CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    if (added == CB_ERR || added == CB_ERRSPACE) {
        throw std::runtime_error("the drive list refused an item: " + item);
    }
}

int Win32Window::selectedIndex(ui::ControlId list) const {
    const LRESULT index =
        SendMessageA(control(list, ui::ControlKind::DropDownList).hwnd, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void Win32Window::selectIndex(ui::ControlId list, int index) {
    // CB_SETCURSEL sends no CBN_SELCHANGE: a choice made by code runs no handler.
    SendMessageA(control(list, ui::ControlKind::DropDownList).hwnd, CB_SETCURSEL,
                 static_cast<WPARAM>(index), 0);
}

void Win32Window::setMinimum(ui::ControlId bar, int minimum) {
    Control& c = control(bar, ui::ControlKind::ProgressBar);
    c.minimum = minimum;
    c.maximum = std::max(c.maximum, minimum);
    SendMessageA(c.hwnd, PBM_SETRANGE, 0, MAKELPARAM(c.minimum, c.maximum));
    setPosition(bar, c.position);
}

void Win32Window::setMaximum(ui::ControlId bar, int maximum) {
    Control& c = control(bar, ui::ControlKind::ProgressBar);
    c.maximum = maximum;
    c.minimum = std::min(c.minimum, maximum);
    SendMessageA(c.hwnd, PBM_SETRANGE, 0, MAKELPARAM(c.minimum, c.maximum));
    setPosition(bar, c.position);
}

void Win32Window::setStep(ui::ControlId bar, int step) {
    control(bar, ui::ControlKind::ProgressBar).step = step;
}

void Win32Window::setPosition(ui::ControlId bar, int position) {
    Control& c = control(bar, ui::ControlKind::ProgressBar);
    c.position = std::clamp(position, c.minimum, c.maximum);
    SendMessageA(c.hwnd, PBM_SETPOS, static_cast<WPARAM>(c.position), 0);
}

void Win32Window::stepIt(ui::ControlId bar) {
    Control& c = control(bar, ui::ControlKind::ProgressBar);
    int next = c.position + c.step;
    if (next > c.maximum) {
        next = c.minimum; // past the end the bar starts over, as the control itself does
    }
    setPosition(bar, next);
}

int Win32Window::position(ui::ControlId bar) const {
    return control(bar, ui::ControlKind::ProgressBar).position;
}

int Win32Window::maximum(ui::ControlId bar) const {
    return control(bar, ui::ControlKind::ProgressBar).maximum;
}

bool Win32Window::hasWindowMenu() const {
    return GetSystemMenu(hwnd_, FALSE) != nullptr;
}

void Win32Window::removeWindowMenuItem(int position) {
    HMENU menu = GetSystemMenu(hwnd_, FALSE);
    if (menu != nullptr) {
        RemoveMenu(menu, static_cast<UINT>(position), MF_BYPOSITION);
        DrawMenuBar(hwnd_);
    }
}

void Win32Window::pressButton(ui::ControlId button) {
    const ui::ControlDescription& d = description_.controls[button];
    if (d.kind != ui::ControlKind::PushButton || !controls_[button].enabled) {
        return;
    }
    events_.controlClicked(button);
    if (d.button == ui::ButtonKind::Close) {
        kit_.closeWindow(*this, ui::ModalResult::Cancel);
    } else if (d.button == ui::ButtonKind::Yes) {
        kit_.closeWindow(*this, ui::ModalResult::Yes);
    }
}

int Win32Window::buttonWithAccessKey(char key) const {
    const char wanted = upper(key);
    for (const ui::ControlDescription& d : description_.controls) {
        if (d.kind == ui::ControlKind::PushButton && controls_[d.id].enabled &&
            accessKeyOf(d.text) == wanted) {
            return d.id;
        }
    }
    return -1;
}

int Win32Window::focusedButton() const {
    const HWND focus = GetFocus();
    for (const ui::ControlDescription& d : description_.controls) {
        if (d.kind == ui::ControlKind::PushButton && focus != nullptr &&
            controls_[d.id].hwnd == focus) {
            return d.id;
        }
    }
    return -1;
}

int Win32Window::returnButton() const {
    const int focused = focusedButton();
    if (focused >= 0) {
        return focused;
    }
    const int fallback = description_.defaultButton;
    return fallback >= 0 && controls_.at(static_cast<std::size_t>(fallback)).enabled ? fallback
                                                                                     : -1;
}

int Win32Window::closeButton() const {
    for (const ui::ControlDescription& d : description_.controls) {
        if (d.kind == ui::ControlKind::PushButton && d.button == ui::ButtonKind::Close) {
            return d.id;
        }
    }
    return -1;
}

LRESULT CALLBACK Win32Window::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        auto* self = static_cast<Win32Window*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    try {
        return self->handle(message, wParam, lParam);
    } catch (...) {
        // An exception must not unwind through the system's frames: our own loop rethrows it.
        self->kit_.holdException(std::current_exception());
        return 0;
    }
}

void Win32Window::command(int childId, int code) {
    if (childId == IDCANCEL && modal) {
        // Escape in a modal window presses its close-kind button.
        const int close = closeButton();
        if (close >= 0) {
            pressButton(static_cast<ui::ControlId>(close));
        }
        return;
    }
    const int id = childId - kChildIdBase;
    if (id < 0 || id >= static_cast<int>(controls_.size())) {
        return;
    }
    const auto control = static_cast<ui::ControlId>(id);
    const ui::ControlKind kind = description_.controls[control].kind;
    if (kind == ui::ControlKind::PushButton && code == BN_CLICKED) {
        pressButton(control);
    } else if (kind == ui::ControlKind::DropDownList && code == CBN_SELCHANGE) {
        events_.selectionChanged(control); // only the user's choice sends this
    }
}

LRESULT Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paint();
        return 0;
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item.CtlType == ODT_COMBOBOX) {
            drawListItem(item);
        } else {
            drawButton(item);
        }
        return TRUE;
    }
    case WM_MEASUREITEM: {
        // Sent while the list is being created, before its handle is known here.
        auto& item = *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        const int id = static_cast<int>(item.CtlID) - kChildIdBase;
        if (item.CtlType == ODT_COMBOBOX && id >= 0 && id < static_cast<int>(controls_.size())) {
            const ui::ControlDescription& d = description_.controls[static_cast<std::size_t>(id)];
            item.itemHeight = static_cast<UINT>(
                item.itemID == static_cast<UINT>(-1) ? fieldHeight(d) : d.itemHeight);
            return TRUE;
        }
        return DefWindowProcA(hwnd_, message, wParam, lParam);
    }
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_TIMER:
        if (wParam >= kTimerIdBase && wParam < kTimerIdBase + controls_.size()) {
            const auto timer = static_cast<ui::ControlId>(wParam - kTimerIdBase);
            if (controls_[timer].enabled) {
                events_.timerFired(timer);
            }
        }
        return 0;
    case WM_QUERYENDSESSION:
        return kit_.runUnderWay() ? FALSE : TRUE;
    case WM_POWERBROADCAST:
        // Asked before the 2000 and XP families sleep; later systems no longer ask.
        return wParam == PBT_APMQUERYSUSPEND && kit_.runUnderWay() ? BROADCAST_QUERY_DENY : TRUE;
    case WM_CLOSE: {
        // Closing by the title bar or Alt+F4 is pressing the close-kind button, when it may be
        // pressed; the window is never destroyed behind its owner's back.
        const int close = closeButton();
        if (close >= 0) {
            pressButton(static_cast<ui::ControlId>(close));
        } else if (modal) {
            kit_.closeWindow(*this, ui::ModalResult::Cancel);
        }
        return 0;
    }
    default:
        return DefWindowProcA(hwnd_, message, wParam, lParam);
    }
}

} // namespace zelfin::win32ui
