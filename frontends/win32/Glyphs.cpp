#include "frontends/win32/Glyphs.h"

#include <stdexcept>

namespace zelfin::win32ui {
namespace {

constexpr COLORREF kKeyColour = RGB(255, 0, 255);
constexpr int kCells = 6;
constexpr DWORD kBlackWhereMaskIsWhite = 0x00220326; // DSna: destination AND NOT source

// Cell pairs (normal, disabled) in the strip's order.
int firstCellOf(ui::ButtonKind kind) {
    switch (kind) {
    case ui::ButtonKind::Glyph:
        return 0;
    case ui::ButtonKind::Close:
        return 2;
    case ui::ButtonKind::Yes:
        return 4;
    case ui::ButtonKind::Plain:
        break;
    }
    return -1;
}

} // namespace

Glyphs::Glyphs(HINSTANCE instance) {
    colour_ = static_cast<HBITMAP>(
        LoadImageA(instance, "GLYPHS", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (colour_ == nullptr) {
        throw std::runtime_error("the button pictures (bitmap resource GLYPHS) are missing");
    }
    constexpr int width = kGlyphSize * kCells;
    mask_ = CreateBitmap(width, kGlyphSize, 1, 1, nullptr);
    colourDc_ = CreateCompatibleDC(nullptr);
    maskDc_ = CreateCompatibleDC(nullptr);
    if (mask_ == nullptr || colourDc_ == nullptr || maskDc_ == nullptr) {
        throw std::runtime_error("no memory for the button pictures");
    }
    oldColour_ = SelectObject(colourDc_, colour_);
    oldMask_ = SelectObject(maskDc_, mask_);
    // Colour to monochrome: pixels of the background colour become white, all others black.
    SetBkColor(colourDc_, kKeyColour);
    BitBlt(maskDc_, 0, 0, width, kGlyphSize, colourDc_, 0, 0, SRCCOPY);
    // Monochrome to colour takes white from the background colour and black from the text one.
    SetBkColor(colourDc_, RGB(255, 255, 255));
    SetTextColor(colourDc_, RGB(0, 0, 0));
    BitBlt(colourDc_, 0, 0, width, kGlyphSize, maskDc_, 0, 0, kBlackWhereMaskIsWhite);
}

Glyphs::~Glyphs() {
    if (colourDc_ != nullptr) {
        SelectObject(colourDc_, oldColour_);
        DeleteDC(colourDc_);
    }
    if (maskDc_ != nullptr) {
        SelectObject(maskDc_, oldMask_);
        DeleteDC(maskDc_);
    }
    if (mask_ != nullptr) {
        DeleteObject(mask_);
    }
    if (colour_ != nullptr) {
        DeleteObject(colour_);
    }
}

bool Glyphs::draw(HDC target, int x, int y, ui::ButtonKind kind, bool enabled) const {
    const int first = firstCellOf(kind);
    if (first < 0) {
        return false;
    }
    const int left = (first + (enabled ? 0 : 1)) * kGlyphSize;
    const COLORREF oldBack = SetBkColor(target, RGB(255, 255, 255));
    const COLORREF oldText = SetTextColor(target, RGB(0, 0, 0));
    BitBlt(target, x, y, kGlyphSize, kGlyphSize, maskDc_, left, 0, SRCAND);
    BitBlt(target, x, y, kGlyphSize, kGlyphSize, colourDc_, left, 0, SRCPAINT);
    SetBkColor(target, oldBack);
    SetTextColor(target, oldText);
    return true;
}

} // namespace zelfin::win32ui
