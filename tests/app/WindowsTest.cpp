// The two window descriptions hold together: every toolkit builds its windows from them.
#include "ui/ZelfinWindows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

namespace zelfin::apptest {
namespace {

class EachWindow : public testing::TestWithParam<const ui::WindowDescription*> {};

TEST_P(EachWindow, ControlsFitTheWindowAndTabStopsRunFromZero) {
    const ui::WindowDescription& window = *GetParam();
    std::vector<int> tabStops;
    for (const ui::ControlDescription& control : window.controls) {
        if (control.kind == ui::ControlKind::Timer) {
            continue;
        }
        SCOPED_TRACE(std::string(control.name));
        EXPECT_GE(control.bounds.left, 0);
        EXPECT_GE(control.bounds.top, 0);
        EXPECT_LE(control.bounds.left + control.bounds.width, window.outerWidth);
        EXPECT_LE(control.bounds.top + control.bounds.height, window.outerHeight);
        if (control.tabOrder != ui::kNoTabStop) {
            tabStops.push_back(control.tabOrder);
        }
        if (control.kind == ui::ControlKind::PushButton) {
            EXPECT_NE(control.text.find('&'), std::string_view::npos) << "no access key";
            EXPECT_NE(control.tabOrder, ui::kNoTabStop);
        }
    }
    std::sort(tabStops.begin(), tabStops.end());
    for (std::size_t i = 0; i < tabStops.size(); ++i) {
        EXPECT_EQ(tabStops[i], static_cast<int>(i)) << "tab stops must be 0, 1, 2, ... once each";
    }
    std::set<std::string_view> names;
    for (const ui::ControlDescription& control : window.controls) {
        EXPECT_TRUE(names.insert(control.name).second) << "two controls named " << control.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, EachWindow,
                         testing::Values(&ui::kZelfinMainWindow, &ui::kRebootWindow));

// Focus starts on Later, while Now answers the Enter key.
TEST(RebootWindow, FocusAndDefaultButtonDiffer) {
    const auto& later = ui::kRebootControls[ui::idOf(ui::RebootControl::cmdRebootLater)];
    EXPECT_EQ(later.tabOrder, 0);
    EXPECT_EQ(ui::kRebootWindow.defaultButton, ui::idOf(ui::RebootControl::cmdRebootNow));
    EXPECT_FALSE(ui::kRebootWindow.titleBar.closeBox);
    EXPECT_FALSE(ui::kRebootWindow.titleBar.windowMenu);
}

} // namespace
} // namespace zelfin::apptest
