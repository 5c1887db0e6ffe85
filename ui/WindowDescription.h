#pragma once
// The vocabulary in which a window is described once, as data, so that every toolkit builds
// the same window: controls with their kind, place, first content, font and tab order, and the
// window's own frame, caption and title-bar items.

#include <cstdint>
#include <span>
#include <string_view>

namespace zelfin::ui {

// A control's index in its window's control table; handlers and toolkits speak of controls by it.
using ControlId = std::uint8_t;
inline constexpr int kNoTabStop = -1;

// Colours the toolkit resolves itself (the user's scheme) next to fixed RGB values.
enum class SystemColour : std::uint8_t { None, WindowText, ButtonText, ButtonFace };

struct Colour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    SystemColour system = SystemColour::None;

    friend constexpr bool operator==(const Colour&, const Colour&) = default;
};

inline constexpr Colour kBlack{0, 0, 0};
inline constexpr Colour kMaroon{128, 0, 0};
inline constexpr Colour kNavy{0, 0, 128};
inline constexpr Colour kWindowText{0, 0, 0, SystemColour::WindowText};
inline constexpr Colour kButtonText{0, 0, 0, SystemColour::ButtonText};
inline constexpr Colour kButtonFace{0, 0, 0, SystemColour::ButtonFace};

// Character height in pixels at 96 dots per inch.
struct Font {
    std::string_view face;
    int heightPixels = 0;
    bool bold = false;
    Colour colour = kWindowText;

    friend constexpr bool operator==(const Font&, const Font&) = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

enum class ControlKind : std::uint8_t {
    LoweredFrame,
    Label,
    DropDownList,
    ProgressBar,
    PushButton,
    Timer
};

// What pressing a button does beyond its click handler: a close-kind button closes its window
// (a modal one with the answer Cancel), a yes-kind button closes a modal window with Yes.
enum class ButtonKind : std::uint8_t { Plain, Glyph, Close, Yes };

struct ControlDescription {
    ControlId id = 0;
    std::string_view name;
    ControlKind kind = ControlKind::Label;
    Rect bounds;
    std::string_view text; // label text or button caption; '&' marks the access key
    bool hasFont = false;  // false: the window's default font
    Font font;
    int tabOrder = kNoTabStop;
    ButtonKind button = ButtonKind::Plain;
    std::string_view tooltip;
    int itemHeight = 0;      // drop-down list
    bool choiceOnly = false; // drop-down list: no typing
    int rangeMinimum = 0;    // progress bar
    int rangeMaximum = 0;    // progress bar
    bool continuousFill = false;
    unsigned intervalMs = 0; // timer
    bool enabled = true;     // timer: runs from creation
};

enum class BorderStyle : std::uint8_t { Sizeable, Dialog };
enum class Placement : std::uint8_t { ScreenCentre, OwnerCentre };

struct TitleBar {
    bool windowMenu = false;
    bool minimiseBox = false;
    bool maximiseBox = false;
    bool closeBox = false;
    bool greyedMinimiseMaximise = false; // window menu shows those two commands greyed
};

struct WindowDescription {
    std::string_view name;      // the window object's name
    std::string_view className; // the form class
    std::string_view caption;
    int outerWidth = 0;
    int outerHeight = 0;
    BorderStyle border = BorderStyle::Sizeable;
    Placement placement = Placement::ScreenCentre;
    TitleBar titleBar;
    Colour background = kButtonFace;
    Font defaultFont;
    bool ownIcon = false;
    int defaultButton = -1; // ControlId of the default button, or -1
    std::span<const ControlDescription> controls;
};

} // namespace zelfin::ui
