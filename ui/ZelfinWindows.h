#pragma once
// The two windows of the program, described once for every toolkit.

#include "ui/WindowDescription.h"

#include <array>
#include <cstddef>

namespace zelfin::ui {

// Controls of the main window in creation order; labels later in the order paint over earlier
// ones. The value is the control's ControlId.
enum class MainControl : ControlId {
    Bevel1,
    Label1,
    lblMsg,
    lblPercent,
    lblUpdateMsg,
    lblNewFW,
    lblOldFW,
    lblTo,
    cboDrives,
    pbar,
    cmdUpdate,
    cmdClose,
    tmr,
};

enum class RebootControl : ControlId {
    Label1,
    cmdRebootLater,
    cmdRebootNow,
};

constexpr ControlId idOf(MainControl c) {
    return static_cast<ControlId>(c);
}
constexpr ControlId idOf(RebootControl c) {
    return static_cast<ControlId>(c);
}

inline constexpr Font kArial11{"Arial", 11, false, kBlack};
inline constexpr Font kVerdana11BoldNavy{"Verdana", 11, true, kNavy};
inline constexpr Font kTahoma11BoldNavy{"Tahoma", 11, true, kNavy};
inline constexpr Font kTahoma11BoldButton{"Tahoma", 11, true, kButtonText};
inline constexpr Font kCourierNew13{"Courier New", 13, false, kWindowText};
inline constexpr Font kMsSansSerif8pt{"MS Sans Serif", 11, false, kWindowText};

// Builders keep the tables below to one line of facts per control.
constexpr ControlDescription frame(MainControl id, std::string_view name, Rect bounds) {
    ControlDescription c;
    c.id = idOf(id);
    c.name = name;
    c.kind = ControlKind::LoweredFrame;
    c.bounds = bounds;
    return c;
}

constexpr ControlDescription label(ControlId id, std::string_view name, Rect bounds,
                                   std::string_view text, Font font) {
    ControlDescription c;
    c.id = id;
    c.name = name;
    c.kind = ControlKind::Label;
    c.bounds = bounds;
    c.text = text;
    c.hasFont = true;
    c.font = font;
    return c;
}

constexpr ControlDescription button(ControlId id, std::string_view name, Rect bounds,
                                    std::string_view caption, int tabOrder, ButtonKind kind,
                                    std::string_view tooltip = {}) {
    ControlDescription c;
    c.id = id;
    c.name = name;
    c.kind = ControlKind::PushButton;
    c.bounds = bounds;
    c.text = caption;
    c.hasFont = true;
    c.font = kTahoma11BoldButton;
    c.tabOrder = tabOrder;
    c.button = kind;
    c.tooltip = tooltip;
    return c;
}

constexpr ControlDescription driveBox() {
    ControlDescription c;
    c.id = idOf(MainControl::cboDrives);
    c.name = "cboDrives";
    c.kind = ControlKind::DropDownList;
    c.bounds = {8, 24, 353, 24};
    c.hasFont = true;
    c.font = kCourierNew13;
    c.tabOrder = 0;
    c.itemHeight = 16;
    c.choiceOnly = true;
    return c;
}

constexpr ControlDescription progressBar() {
    ControlDescription c;
    c.id = idOf(MainControl::pbar);
    c.name = "pbar";
    c.kind = ControlKind::ProgressBar;
    c.bounds = {16, 112, 373, 13};
    c.tabOrder = 1;
    c.rangeMinimum = 0;
    c.rangeMaximum = 100;
    c.continuousFill = true;
    return c;
}

constexpr ControlDescription progressTimer() {
    ControlDescription c;
    c.id = idOf(MainControl::tmr);
    c.name = "tmr";
    c.kind = ControlKind::Timer;
    c.intervalMs = 100;
    c.enabled = false;
    return c;
}

constexpr ControlId mainId(MainControl c) {
    return idOf(c);
}
constexpr ControlId rebootId(RebootControl c) {
    return idOf(c);
}

// clang-format off
inline constexpr std::array<ControlDescription, 13> kMainControls{
    frame(MainControl::Bevel1, "Bevel1", {8, 84, 437, 49}),
    label(mainId(MainControl::Label1), "Label1", {12, 4, 128, 14}, "Please select target drive :", kArial11),
    label(mainId(MainControl::lblMsg), "lblMsg", {16, 92, 56, 13}, "Message", kVerdana11BoldNavy),
    label(mainId(MainControl::lblPercent), "lblPercent", {400, 112, 34, 13}, "100%", kTahoma11BoldNavy),
    label(mainId(MainControl::lblUpdateMsg), "lblUpdateMsg", {11, 56, 104, 14}, "t will be updated from", kArial11),
    label(mainId(MainControl::lblNewFW), "lblNewFW", {208, 56, 28, 13}, "XXXX", kTahoma11BoldNavy),
    label(mainId(MainControl::lblOldFW), "lblOldFW", {143, 56, 28, 13}, "XXXX", kTahoma11BoldNavy),
    label(mainId(MainControl::lblTo), "lblTo", {186, 56, 9, 14}, "to", kArial11),
    driveBox(),
    progressBar(),
    button(mainId(MainControl::cmdUpdate), "cmdUpdate", {368, 24, 77, 25}, "&Update", 2, ButtonKind::Glyph),
    button(mainId(MainControl::cmdClose), "cmdClose", {368, 52, 77, 25}, "&Close", 3, ButtonKind::Close),
    progressTimer(),
};

inline constexpr std::array<ControlDescription, 3> kRebootControls{
    label(rebootId(RebootControl::Label1), "Label1", {44, 28, 211, 13}, "Your computer needs to be rebooted.", kTahoma11BoldNavy),
    button(rebootId(RebootControl::cmdRebootLater), "cmdRebootLater", {67, 68, 77, 25}, "&Later", 0, ButtonKind::Close, "Reboot Later"),
    button(rebootId(RebootControl::cmdRebootNow), "cmdRebootNow", {159, 68, 77, 25}, "&Now", 1, ButtonKind::Yes, "Reboot Now"),
};
// clang-format on

constexpr WindowDescription mainWindow() {
    WindowDescription w;
    w.name = "ZelfinMain";
    w.className = "TZelfinMain";
    w.caption = "Zelfin";
    w.outerWidth = 460;
    w.outerHeight = 167;
    w.border = BorderStyle::Sizeable;
    w.placement = Placement::ScreenCentre;
    w.titleBar.windowMenu = true;
    w.titleBar.closeBox = true;
    w.titleBar.greyedMinimiseMaximise = true;
    w.defaultFont = kMsSansSerif8pt;
    w.controls = kMainControls;
    return w;
}

constexpr WindowDescription rebootWindow() {
    WindowDescription w;
    w.name = "Reboot";
    w.className = "TReboot";
    w.caption = "Reboot Warning";
    w.outerWidth = 310;
    w.outerHeight = 131;
    w.border = BorderStyle::Dialog;
    w.placement = Placement::OwnerCentre;
    w.defaultFont = kMsSansSerif8pt;
    w.ownIcon = true;
    w.defaultButton = idOf(RebootControl::cmdRebootNow);
    w.controls = kRebootControls;
    return w;
}

inline constexpr WindowDescription kZelfinMainWindow = mainWindow();
inline constexpr WindowDescription kRebootWindow = rebootWindow();

// A control's id is its place in the table, so toolkits may index by it.
constexpr bool idsMatchPlaces(std::span<const ControlDescription> controls) {
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].id != i) {
            return false;
        }
    }
    return true;
}
static_assert(idsMatchPlaces(kMainControls));
static_assert(idsMatchPlaces(kRebootControls));

} // namespace zelfin::ui
