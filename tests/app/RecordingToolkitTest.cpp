// The recording toolkit's own promises that the shell's tests rely on.
#include "tests/support/RecordingToolkit.h"
#include "ui/ZelfinWindows.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

namespace zelfin::apptest {
namespace {

using ui::MainControl;

struct CountingEvents final : ui::WindowEvents {
    void controlClicked(ui::ControlId) override { ++clicks; }
    void selectionChanged(ui::ControlId) override { ++changes; }
    void timerFired(ui::ControlId) override { ++ticks; }
    int clicks = 0;
    int changes = 0;
    int ticks = 0;
};

class Kit : public testing::Test {
protected:
    ui::RecordingToolkit kit;
    CountingEvents events;
    std::unique_ptr<ui::Window> window = kit.createWindow(ui::kZelfinMainWindow, events, nullptr);
};

TEST_F(Kit, DisabledButtonsAndTimersDoNothing) {
    window->setEnabled(ui::idOf(MainControl::cmdUpdate), false);
    kit.click(ui::idOf(MainControl::cmdUpdate));
    kit.tick(5); // the timer is created disabled
    EXPECT_EQ(events.clicks, 0);
    EXPECT_EQ(events.ticks, 0);

    window->setEnabled(ui::idOf(MainControl::tmr), true);
    kit.tick(2);
    EXPECT_EQ(events.ticks, 2);
}

TEST_F(Kit, OnlyTheUsersChoiceRunsTheChangeHandler) {
    window->addItem(ui::idOf(MainControl::cboDrives), "a");
    window->addItem(ui::idOf(MainControl::cboDrives), "b");
    window->selectIndex(ui::idOf(MainControl::cboDrives), 1);
    EXPECT_EQ(events.changes, 0);
    kit.choose(ui::idOf(MainControl::cboDrives), 0);
    EXPECT_EQ(events.changes, 1);
    EXPECT_EQ(window->selectedIndex(ui::idOf(MainControl::cboDrives)), 0);
}

TEST_F(Kit, ACallThatDoesNotSuitTheControlIsRefused) {
    EXPECT_THROW(window->setText(ui::idOf(MainControl::pbar), "x"), std::logic_error);
    EXPECT_THROW(window->setText(200, "x"), std::out_of_range);
}

TEST_F(Kit, TasksPostedFromOtherThreadsRunOnTheCallersThreadInOrder) {
    std::vector<int> order;
    const std::thread::id mainThread = std::this_thread::get_id();
    bool allOnMain = true;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) {
            kit.runOnMainThread([&, i] {
                allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
                order.push_back(i);
            });
        }
    });
    EXPECT_TRUE(kit.runUntil([&] { return order.size() == 3; }));
    worker.join();
    EXPECT_THAT(order, testing::ElementsAre(0, 1, 2));
    EXPECT_TRUE(allOnMain);
}

} // namespace
} // namespace zelfin::apptest
