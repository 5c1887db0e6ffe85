// What a Win32Window draws itself: its frames and labels, in creation order, and its buttons
// with their pictures.
#include "frontends/win32/Glyphs.h"
#include "frontends/win32/Win32Toolkit.h"
#include "frontends/win32/Win32Window.h"

#include <algorithm>

namespace zelfin::win32ui {
namespace {

constexpr UINT kLabelFormat = DT_LEFT | DT_TOP | DT_NOPREFIX | DT_NOCLIP | DT_EXPANDTABS;
constexpr int kGlyphSpacing = 4;

COLORREF resolve(ui::Colour colour) {
    switch (colour.system) {
    case ui::SystemColour::WindowText:
        return GetSysColor(COLOR_WINDOWTEXT);
    case ui::SystemColour::ButtonText:
        return GetSysColor(COLOR_BTNTEXT);
    case ui::SystemColour::ButtonFace:
        return GetSysColor(COLOR_BTNFACE);
    case ui::SystemColour::None:
        break;
    }
    return RGB(colour.red, colour.green, colour.blue);
}

RECT rectOf(const ui::Rect& r) {
    return RECT{r.left, r.top, r.left + r.width, r.top + r.height};
}

} // namespace

RECT Win32Window::labelArea(ui::ControlId label) const {
    const ui::ControlDescription& d = description_.controls[label];
    const Control& c = controls_[label];
    RECT area = rectOf(d.bounds);
    // Labels size themselves to their text: measure it.
    if (HDC dc = GetDC(hwnd_)) {
        const HGDIOBJ old = SelectObject(dc, c.font != nullptr ? c.font : defaultFont_);
        RECT text{d.bounds.left, d.bounds.top, d.bounds.left, d.bounds.top};
        DrawTextA(dc, c.text.c_str(), static_cast<int>(c.text.size()), &text,
                  kLabelFormat | DT_CALCRECT);
        SelectObject(dc, old);
        ReleaseDC(hwnd_, dc);
        area.right = std::max(area.right, text.right + 1);
        area.bottom = std::max(area.bottom, text.bottom + 1);
    }
    return area;
}

void Win32Window::invalidateLabel(ui::ControlId label) {
    const RECT area = labelArea(label);
    InvalidateRect(hwnd_, &area, TRUE);
}

void Win32Window::paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    if (dc == nullptr) {
        return;
    }
    SetBkMode(dc, TRANSPARENT);
    const HGDIOBJ oldFont = SelectObject(dc, defaultFont_);
    for (const ui::ControlDescription& d : description_.controls) {
        const Control& c = controls_[d.id];
        if (d.kind == ui::ControlKind::LoweredFrame) {
            RECT frame = rectOf(d.bounds);
            DrawEdge(dc, &frame, BDR_SUNKENOUTER, BF_RECT);
        } else if (d.kind == ui::ControlKind::Label && c.visible && !c.text.empty()) {
            SelectObject(dc, c.font != nullptr ? c.font : defaultFont_);
            SetTextColor(dc, resolve(c.colour));
            RECT text = rectOf(d.bounds);
            DrawTextA(dc, c.text.c_str(), static_cast<int>(c.text.size()), &text, kLabelFormat);
        }
    }
    SelectObject(dc, oldFont);
    EndPaint(hwnd_, &ps);
}

void Win32Window::drawButton(const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_BUTTON) {
        return;
    }
    const int id = static_cast<int>(item.CtlID) - kChildIdBase;
    if (id < 0 || id >= static_cast<int>(controls_.size())) {
        return;
    }
    const ui::ControlDescription& d = description_.controls[static_cast<std::size_t>(id)];
    const Control& c = controls_[static_cast<std::size_t>(id)];
    HDC dc = item.hDC;
    RECT box = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool focused = (item.itemState & ODS_FOCUS) != 0;

    if (item.itemAction == ODA_FOCUS) {
        // Which button wears the default frame follows the focus: draw the others again.
        for (const ui::ControlDescription& other : description_.controls) {
            if (other.kind == ui::ControlKind::PushButton && other.id != id) {
                InvalidateRect(controls_[other.id].hwnd, nullptr, FALSE);
            }
        }
    }
    if (returnButton() == id) {
        FrameRect(dc, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        InflateRect(&box, -1, -1);
    }
    DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));

    // The picture and the caption side by side, centred together.
    const HGDIOBJ oldFont = SelectObject(dc, c.font != nullptr ? c.font : defaultFont_);
    RECT measure{0, 0, 0, 0};
    DrawTextA(dc, c.text.c_str(), static_cast<int>(c.text.size()), &measure,
              DT_SINGLELINE | DT_CALCRECT);
    const bool hasGlyph = d.button != ui::ButtonKind::Plain;
    const int textWidth = measure.right - measure.left;
    const int textHeight = measure.bottom - measure.top;
    const int contentWidth = textWidth + (hasGlyph ? kGlyphSize + kGlyphSpacing : 0);
    const int shift = pressed ? 1 : 0;
    int x = (box.left + box.right - contentWidth) / 2 + shift;
    const int middle = (box.top + box.bottom) / 2 + shift;
    if (hasGlyph) {
        kit_.glyphs().draw(dc, x, middle - kGlyphSize / 2, d.button, !disabled);
        x += kGlyphSize + kGlyphSpacing;
    }
    RECT text{x, middle - textHeight / 2, x + textWidth, middle - textHeight / 2 + textHeight};
    SetBkMode(dc, TRANSPARENT);
    if (disabled) {
        // Engraved, as the system draws a disabled caption.
        RECT light = text;
        OffsetRect(&light, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
        DrawTextA(dc, c.text.c_str(), static_cast<int>(c.text.size()), &light, DT_SINGLELINE);
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    } else {
        SetTextColor(dc, resolve(c.colour));
    }
    DrawTextA(dc, c.text.c_str(), static_cast<int>(c.text.size()), &text, DT_SINGLELINE);
    SelectObject(dc, oldFont);

    if (focused) {
        RECT ring = box;
        InflateRect(&ring, -3, -3);
        DrawFocusRect(dc, &ring);
    }
}

void Win32Window::drawListItem(const DRAWITEMSTRUCT& item) {
    const int id = static_cast<int>(item.CtlID) - kChildIdBase;
    if (id < 0 || id >= static_cast<int>(controls_.size())) {
        return;
    }
    const Control& c = controls_[static_cast<std::size_t>(id)];
    HDC dc = item.hDC;
    RECT box = item.rcItem;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    FillRect(dc, &box, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    if (item.itemID != static_cast<UINT>(-1)) {
        char text[512] = {};
        const LRESULT length = SendMessageA(item.hwndItem, CB_GETLBTEXTLEN, item.itemID, 0);
        if (length >= 0 && length < static_cast<LRESULT>(sizeof text)) {
            SendMessageA(item.hwndItem, CB_GETLBTEXT, item.itemID, reinterpret_cast<LPARAM>(text));
        }
        const HGDIOBJ oldFont = SelectObject(dc, c.font != nullptr ? c.font : defaultFont_);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : resolve(c.colour));
        RECT textBox = box;
        textBox.left += 2;
        DrawTextA(dc, text, -1, &textBox, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        SelectObject(dc, oldFont);
    }
    if ((item.itemState & ODS_FOCUS) != 0) {
        DrawFocusRect(dc, &box);
    }
}

} // namespace zelfin::win32ui
