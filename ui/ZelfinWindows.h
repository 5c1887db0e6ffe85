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

// clang-format off
inline constexpr std::array<ControlDescription, 13> kMainControls{{
    {.id = idOf(MainControl::Bevel1), .name = "Bevel1", .kind = ControlKind::LoweredFrame,
     .bounds = {8, 84, 437, 49}},
    {.id = idOf(MainControl::Label1), .name = "Label1", .kind = ControlKind::Label,
     .bounds = {12, 4, 128, 14}, .text = "Please select target drive :", .hasFont = true,
     .font = kArial11},
    {.id = idOf(MainControl::lblMsg), .name = "lblMsg", .kind = ControlKind::Label,
     .bounds = {16, 92, 56, 13}, .text = "Message", .hasFont = true, .font = kVerdana11BoldNavy},
    {.id = idOf(MainControl::lblPercent), .name = "lblPercent", .kind = ControlKind::Label,
     .bounds = {400, 112, 34, 13}, .text = "100%", .hasFont = true, .font = kTahoma11BoldNavy},
    {.id = idOf(MainControl::lblUpdateMsg), .name = "lblUpdateMsg", .kind = ControlKind::Label,
     .bounds = {11, 56, 104, 14}, .text = "t will be updated from", .hasFont = true,
     .font = kArial11},
    {.id = idOf(MainControl::lblNewFW), .name = "lblNewFW", .kind = ControlKind::Label,
     .bounds = {208, 56, 28, 13}, .text = "XXXX", .hasFont = true, .font = kTahoma11BoldNavy},
    {.id = idOf(MainControl::lblOldFW), .name = "lblOldFW", .kind = ControlKind::Label,
     .bounds = {143, 56, 28, 13}, .text = "XXXX", .hasFont = true, .font = kTahoma11BoldNavy},
    {.id = idOf(MainControl::lblTo), .name = "lblTo", .kind = ControlKind::Label,
     .bounds = {186, 56, 9, 14}, .text = "to", .hasFont = true, .font = kArial11},
    {.id = idOf(MainControl::cboDrives), .name = "cboDrives", .kind = ControlKind::DropDownList,
     .bounds = {8, 24, 353, 24}, .hasFont = true, .font = kCourierNew13, .tabOrder = 0,
     .itemHeight = 16, .choiceOnly = true},
    {.id = idOf(MainControl::pbar), .name = "pbar", .kind = ControlKind::ProgressBar,
     .bounds = {16, 112, 373, 13}, .tabOrder = 1, .rangeMinimum = 0, .rangeMaximum = 100,
     .continuousFill = true},
    {.id = idOf(MainControl::cmdUpdate), .name = "cmdUpdate", .kind = ControlKind::PushButton,
     .bounds = {368, 24, 77, 25}, .text = "&Update", .hasFont = true, .font = kTahoma11BoldButton,
     .tabOrder = 2, .button = ButtonKind::Glyph},
    {.id = idOf(MainControl::cmdClose), .name = "cmdClose", .kind = ControlKind::PushButton,
     .bounds = {368, 52, 77, 25}, .text = "&Close", .hasFont = true, .font = kTahoma11BoldButton,
     .tabOrder = 3, .button = ButtonKind::Close},
    {.id = idOf(MainControl::tmr), .name = "tmr", .kind = ControlKind::Timer, .intervalMs = 100,
     .enabled = false},
}};

inline constexpr std::array<ControlDescription, 3> kRebootControls{{
    {.id = idOf(RebootControl::Label1), .name = "Label1", .kind = ControlKind::Label,
     .bounds = {44, 28, 211, 13}, .text = "Your computer needs to be rebooted.", .hasFont = true,
     .font = kTahoma11BoldNavy},
    {.id = idOf(RebootControl::cmdRebootLater), .name = "cmdRebootLater",
     .kind = ControlKind::PushButton, .bounds = {67, 68, 77, 25}, .text = "&Later",
     .hasFont = true, .font = kTahoma11BoldButton, .tabOrder = 0, .button = ButtonKind::Close,
     .tooltip = "Reboot Later"},
    {.id = idOf(RebootControl::cmdRebootNow), .name = "cmdRebootNow",
     .kind = ControlKind::PushButton, .bounds = {159, 68, 77, 25}, .text = "&Now",
     .hasFont = true, .font = kTahoma11BoldButton, .tabOrder = 1, .button = ButtonKind::Yes,
     .tooltip = "Reboot Now"},
}};
// clang-format on

inline constexpr WindowDescription kZelfinMainWindow{
    .name = "ZelfinMain",
    .className = "TZelfinMain",
    .caption = "Zelfin",
    .outerWidth = 460,
    .outerHeight = 167,
    .border = BorderStyle::Sizeable,
    .placement = Placement::ScreenCentre,
    .titleBar = {.windowMenu = true, .closeBox = true, .greyedMinimiseMaximise = true},
    .defaultFont = kMsSansSerif8pt,
    .controls = kMainControls,
};

inline constexpr WindowDescription kRebootWindow{
    .name = "Reboot",
    .className = "TReboot",
    .caption = "Reboot Warning",
    .outerWidth = 310,
    .outerHeight = 131,
    .border = BorderStyle::Dialog,
    .placement = Placement::OwnerCentre,
    .titleBar = {},
    .defaultFont = kMsSansSerif8pt,
    .ownIcon = true,
    .defaultButton = idOf(RebootControl::cmdRebootNow),
    .controls = kRebootControls,
};

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
