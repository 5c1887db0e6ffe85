// The Win32 toolkit on real windows (under wine on a virtual display): the main window and the
// reboot dialog as their descriptions say, the window menu, the keys of the modal dialog, and
// the message loop's tasks, timers and quit request.
#include "frontends/win32/Win32Toolkit.h"
#include "frontends/win32/Win32Window.h"
#include "ui/ZelfinWindows.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace zelfin::win32ui {
namespace {

using ui::MainControl;
using ui::RebootControl;

struct Events final : ui::WindowEvents {
    std::vector<ui::ControlId> clicked;
    int selections = 0;
    int timers = 0;
    bool timerThrows = false;
    void controlClicked(ui::ControlId c) override { clicked.push_back(c); }
    void selectionChanged(ui::ControlId) override { ++selections; }
    void timerFired(ui::ControlId) override {
        ++timers;
        if (timerThrows) {
            throw std::runtime_error("from a timer");
        }
    }
};

RECT clientRectOf(HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class ToolkitTest : public ::testing::Test {
protected:
    Win32Window& open(const ui::WindowDescription& d, Events& events, Win32Window* owner) {
        windows_.push_back(kit_.createWindow(d, events, owner));
        return static_cast<Win32Window&>(*windows_.back());
    }
    Win32Window& main() { return open(ui::kZelfinMainWindow, mainEvents_, nullptr); }

    Win32Toolkit kit_;
    Events mainEvents_;
    std::vector<std::unique_ptr<ui::Window>> windows_;
};

TEST_F(ToolkitTest, MainWindowStandsAsDescribed) {
    Win32Window& w = main();
    RECT outer{};
    GetWindowRect(w.handle(), &outer);
    EXPECT_EQ(outer.right - outer.left, 460);
    EXPECT_EQ(outer.bottom - outer.top, 167);
    EXPECT_NEAR((outer.left + outer.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((outer.top + outer.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    const LONG style = GetWindowLongA(w.handle(), GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));

    // Every child control at its place; the drop-down's closed height is its described one.
    for (MainControl c : {MainControl::cboDrives, MainControl::pbar, MainControl::cmdUpdate,
                          MainControl::cmdClose}) {
        const ui::Rect& want = ui::kMainControls[idOf(c)].bounds;
        const RECT got = clientRectOf(w.controlHandle(idOf(c)));
        SCOPED_TRACE(std::string(ui::kMainControls[idOf(c)].name));
        EXPECT_EQ(got.left, want.left);
        EXPECT_EQ(got.top, want.top);
        EXPECT_EQ(got.right - got.left, want.width);
        EXPECT_EQ(got.bottom - got.top, want.height);
    }
    EXPECT_TRUE(GetWindowLongA(w.controlHandle(idOf(MainControl::pbar)), GWL_STYLE) & PBS_SMOOTH);
}

TEST_F(ToolkitTest, DriveListIsChoiceOnlyFixedPitchWithItemHeight16) {
    Win32Window& w = main();
    const HWND list = w.controlHandle(idOf(MainControl::cboDrives));
    EXPECT_EQ(GetWindowLongA(list, GWL_STYLE) & 3, CBS_DROPDOWNLIST);
    EXPECT_EQ(SendMessageA(list, CB_GETITEMHEIGHT, 0, 0), 16);

    HDC dc = GetDC(list);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(list, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    EXPECT_EQ(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH, 0) << "a proportional face was chosen";
    EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, 13);

    // A choice made by code runs no change handler.
    w.addItem(idOf(MainControl::cboDrives), "a");
    w.addItem(idOf(MainControl::cboDrives), "b");
    w.selectIndex(idOf(MainControl::cboDrives), 1);
    kit_.processMessages();
    EXPECT_EQ(w.selectedIndex(idOf(MainControl::cboDrives)), 1);
    EXPECT_EQ(mainEvents_.selections, 0);
    w.clearItems(idOf(MainControl::cboDrives));
    EXPECT_EQ(w.selectedIndex(idOf(MainControl::cboDrives)), -1);
}

TEST_F(ToolkitTest, WindowMenuGreysMinimiseAndMaximiseAndLosesCloseByPosition) {
    Win32Window& w = main();
    ASSERT_TRUE(w.hasWindowMenu());
    HMENU menu = GetSystemMenu(w.handle(), FALSE);
    EXPECT_TRUE(GetMenuState(menu, SC_MINIMIZE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND) & MF_GRAYED);
    const int items = GetMenuItemCount(menu);
    w.removeWindowMenuItem(5);
    w.removeWindowMenuItem(5);
    EXPECT_EQ(GetMenuItemCount(menu), items - 2);
    EXPECT_EQ(GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND), static_cast<UINT>(-1));
}

TEST_F(ToolkitTest, ProgressBarKeepsTheControlsPosition) {
    Win32Window& w = main();
    const auto bar = idOf(MainControl::pbar);
    w.setMinimum(bar, 0);
    w.setMaximum(bar, 330);
    w.setStep(bar, 1);
    w.setPosition(bar, 328);
    w.stepIt(bar);
    w.stepIt(bar);
    EXPECT_EQ(w.position(bar), 330);
    EXPECT_EQ(SendMessageA(w.controlHandle(bar), PBM_GETPOS, 0, 0), 330);
    w.setPosition(bar, 400);
    EXPECT_EQ(w.position(bar), 330);
    EXPECT_EQ(w.maximum(bar), 330);
}

// The reboot dialog, answered by keys posted before it runs: the focus starts on Later, the
// default button is Now, access keys and Escape press their buttons.
TEST_F(ToolkitTest, RebootDialogAnswersKeys) {
    struct Case {
        const char* name;
        UINT message;
        WPARAM key;
        ui::ModalResult result;
        RebootControl pressed;
    };
    const Case cases[] = {
        {"Return", WM_KEYDOWN, VK_RETURN, ui::ModalResult::Cancel, RebootControl::cmdRebootLater},
        {"Escape", WM_KEYDOWN, VK_ESCAPE, ui::ModalResult::Cancel, RebootControl::cmdRebootLater},
        {"Alt+N", WM_SYSCHAR, 'n', ui::ModalResult::Yes, RebootControl::cmdRebootNow},
        {"Alt+L", WM_SYSCHAR, 'l', ui::ModalResult::Cancel, RebootControl::cmdRebootLater},
    };
    Win32Window& owner = main();
    owner.show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Events events;
        Win32Window& dialog = open(ui::kRebootWindow, events, &owner);
        EXPECT_FALSE(GetWindowLongA(dialog.handle(), GWL_STYLE) & WS_SYSMENU);
        const HWND later = dialog.controlHandle(idOf(RebootControl::cmdRebootLater));
        ASSERT_NE(dialog.tooltipHandle(), nullptr);
        EXPECT_EQ(SendMessageA(dialog.tooltipHandle(), TTM_GETTOOLCOUNT, 0, 0), 2);
        PostMessageA(later, c.message, c.key, 0);
        EXPECT_EQ(kit_.showModal(dialog), c.result);
        EXPECT_EQ(events.clicked, std::vector<ui::ControlId>{idOf(c.pressed)});
        EXPECT_TRUE(IsWindowEnabled(owner.handle()));
        windows_.pop_back();
    }
}

// A worker's end reaches the GUI thread through the message loop, a modal one included, and a
// quit request already made neither ends the dialog early nor gets lost.
TEST_F(ToolkitTest, TasksFromOtherThreadsRunOnTheGuiThreadDuringAModalDialog) {
    Win32Window& owner = main();
    owner.show();
    Events events;
    Win32Window& dialog = open(ui::kRebootWindow, events, &owner);
    const DWORD gui = GetCurrentThreadId();
    std::atomic<DWORD> ranOn{0};
    kit_.terminate();
    std::thread worker([&] {
        kit_.runOnMainThread([&] {
            ranOn = GetCurrentThreadId();
            dialog.pressButton(idOf(RebootControl::cmdRebootNow));
        });
    });
    EXPECT_EQ(kit_.showModal(dialog), ui::ModalResult::Yes);
    worker.join();
    EXPECT_EQ(ranOn.load(), gui);
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    EXPECT_TRUE(kit_.terminated());
}

TEST_F(ToolkitTest, TimerFiresOnlyWhileEnabled) {
    Win32Window& w = main();
    const auto timer = idOf(MainControl::tmr);
    w.setInterval(timer, 10);
    kit_.processMessages();
    Sleep(50);
    kit_.processMessages();
    EXPECT_EQ(mainEvents_.timers, 0);
    w.setEnabled(timer, true);
    const DWORD until = GetTickCount() + 2000;
    while (mainEvents_.timers < 3 && GetTickCount() < until) {
        kit_.waitForMessages();
        kit_.processMessages();
    }
    EXPECT_GE(mainEvents_.timers, 3);
    w.setEnabled(timer, false);
    const int fired = mainEvents_.timers;
    Sleep(50);
    kit_.processMessages();
    EXPECT_EQ(mainEvents_.timers, fired);
}

// An exception in a handler reaches the caller of the loop that dispatched it, and a modal
// dialog it ends gives its owner back.
TEST_F(ToolkitTest, HandlerExceptionsReachTheLoopsCaller) {
    Win32Window& w = main();
    mainEvents_.timerThrows = true;
    w.setInterval(idOf(MainControl::tmr), 1);
    w.setEnabled(idOf(MainControl::tmr), true);
    EXPECT_THROW(
        for (;;) {
            kit_.waitForMessages();
            kit_.processMessages();
        },
        std::runtime_error);
    w.setEnabled(idOf(MainControl::tmr), false);

    w.show();
    Events events;
    Win32Window& dialog = open(ui::kRebootWindow, events, &w);
    kit_.runOnMainThread([] { throw std::runtime_error("from a task"); });
    EXPECT_THROW(kit_.showModal(dialog), std::runtime_error);
    EXPECT_TRUE(IsWindowEnabled(w.handle()));
    EXPECT_FALSE(dialog.modal);
}

TEST_F(ToolkitTest, DisablingTheFocusedButtonHandsTheFocusOn) {
    Win32Window& w = main();
    w.show();
    SetFocus(w.controlHandle(idOf(MainControl::cmdUpdate)));
    w.setEnabled(idOf(MainControl::cmdUpdate), false);
    EXPECT_EQ(GetFocus(), w.controlHandle(idOf(MainControl::cmdClose)));
}

} // namespace
} // namespace zelfin::win32ui
