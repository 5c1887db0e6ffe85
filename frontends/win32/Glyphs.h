#pragma once
// The push-button pictures: one bitmap strip of 16x16 cells whose magenta pixels show the
// button face, drawn through a mask (TransparentBlt is not on every Windows we load on).

#include "frontends/win32/WinApi.h"
#include "ui/WindowDescription.h"

namespace zelfin::win32ui {

inline constexpr int kGlyphSize = 16;

class Glyphs {
public:
    explicit Glyphs(HINSTANCE instance); // throws std::runtime_error without the resource
    ~Glyphs();
    Glyphs(const Glyphs&) = delete;
    Glyphs& operator=(const Glyphs&) = delete;

    // The picture of a button kind, normal or disabled; false for a kind without one.
    bool draw(HDC target, int x, int y, ui::ButtonKind kind, bool enabled) const;

private:
    HDC colourDc_ = nullptr; // the strip with its magenta turned black
    HDC maskDc_ = nullptr;   // white where the face shows through
    HBITMAP colour_ = nullptr;
    HBITMAP mask_ = nullptr;
    HGDIOBJ oldColour_ = nullptr;
    HGDIOBJ oldMask_ = nullptr;
};

} // namespace zelfin::win32ui
