// The terminal toolkit: what a person at the terminal sees and how their answers come back.

#include "frontends/terminal/TerminalToolkit.h"
#include "ui/ZelfinWindows.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

namespace zelfin::terminal {
namespace {

using ui::DialogAnswer;
using ui::DialogButtons;
using ui::DialogType;
using ui::MainControl;

struct Events final : ui::WindowEvents {
    std::vector<std::string> log;
    void controlClicked(ui::ControlId c) override { log.push_back("click " + std::to_string(c)); }
    void selectionChanged(ui::ControlId c) override {
        log.push_back("choose " + std::to_string(c));
    }
    void timerFired(ui::ControlId c) override { log.push_back("timer " + std::to_string(c)); }
};

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

TEST(TerminalDialogs, InteractiveQuestionsAskAgainUntilAnsweredAndEndOfInputIsNo) {
    std::istringstream in("maybe\ny\n");
    std::ostringstream out;
    TerminalScript script;
    script.interactive = true;
    TerminalToolkit kit(in, out, script);
    EXPECT_EQ(kit.messageDialog(DialogType::Warning, "Go on ?", DialogButtons::YesNo),
              DialogAnswer::Yes);
    EXPECT_EQ(count(out.str(), "[Yes/No] (y/n) "), 2);
    EXPECT_NE(out.str().find("--- Warning ---\nGo on ?\n"), std::string::npos);
    EXPECT_EQ(kit.messageDialog(DialogType::Warning, "Again ?", DialogButtons::YesNo),
              DialogAnswer::No);
    EXPECT_EQ(kit.ending(), Ending::Declined);
}

TEST(TerminalDialogs, ScriptedAnswersComeFirstThenYesToAll) {
    std::istringstream in;
    std::ostringstream out;
    TerminalScript script;
    script.answers = {true, false};
    TerminalToolkit kit(in, out, script);
    EXPECT_EQ(kit.messageDialog(DialogType::Warning, "1", DialogButtons::YesNo), DialogAnswer::Yes);
    EXPECT_EQ(kit.messageDialog(DialogType::Warning, "2", DialogButtons::YesNo), DialogAnswer::No);
    // Script used up and nobody at the keyboard: No, and the run says it had no answer.
    EXPECT_EQ(kit.messageDialog(DialogType::Warning, "3", DialogButtons::YesNo), DialogAnswer::No);
    EXPECT_EQ(kit.ending(), Ending::Unanswerable);

    TerminalScript all;
    all.answerYesToAll = true;
    TerminalToolkit yes(in, out, all);
    EXPECT_EQ(yes.messageDialog(DialogType::Warning, "4", DialogButtons::YesNo), DialogAnswer::Yes);
    EXPECT_EQ(yes.ending(), Ending::Nothing);
}

TEST(TerminalDialogs, EndingFollowsWhatWasShown) {
    std::istringstream in;
    std::ostringstream out;
    TerminalToolkit kit(in, out, TerminalScript{});
    kit.messageDialog(DialogType::Information, "Done", DialogButtons::Ok);
    EXPECT_EQ(kit.ending(), Ending::Success);
    kit.systemBox("Access denied", "Error ...", ui::kStopIconOk);
    EXPECT_NE(out.str().find("--- Error ... ---\nAccess denied\n"), std::string::npos);
    EXPECT_EQ(kit.ending(), Ending::Failure);
}

class TerminalMainWindow : public ::testing::Test {
protected:
    std::istringstream in;
    std::ostringstream out;
    Events events;
    TerminalToolkit kit{in, out, TerminalScript{}};
    std::unique_ptr<ui::Window> window = kit.createWindow(ui::kZelfinMainWindow, events, nullptr);

    static ui::ControlId id(MainControl c) { return ui::idOf(c); }
};

TEST_F(TerminalMainWindow, PrintsNothingBeforeShownThenTheWindowByRows) {
    window->setCaption("Flash Program");
    window->addItem(id(MainControl::cboDrives), " 1-0-0-0 D:DRIVE 1A05");
    window->addItem(id(MainControl::cboDrives), " 1-0-1-0 E:DRIVE 1A05");
    window->selectIndex(id(MainControl::cboDrives), 1);
    window->setText(id(MainControl::lblUpdateMsg), "It will be updated from");
    window->setText(id(MainControl::lblOldFW), "1A05");
    window->setText(id(MainControl::lblNewFW), "1A07");
    window->setText(id(MainControl::lblMsg), "");
    window->setText(id(MainControl::lblPercent), "0 %");
    kit.processMessages();
    EXPECT_EQ(out.str(), "");

    window->show();
    kit.processMessages();
    EXPECT_EQ(out.str(), "\n== Flash Program ==\n"
                         "Please select target drive :\n"
                         "    [0]  1-0-0-0 D:DRIVE 1A05\n"
                         "  > [1]  1-0-1-0 E:DRIVE 1A05\n"
                         "It will be updated from 1A05 to 1A07\n"
                         "[....................] 0 %\n");

    out.str("");
    window->setVisible(id(MainControl::lblOldFW), false);
    window->setVisible(id(MainControl::lblNewFW), false);
    window->setText(id(MainControl::lblUpdateMsg), "This drive is not allowed to be updated.");
    kit.processMessages();
    // The window paints "to" under the long text; the terminal shows the text.
    EXPECT_EQ(out.str(), "This drive is not allowed to be updated.\n");
}

TEST_F(TerminalMainWindow, ProgressIsPrintedByTwentiethsAndTheAnimationOnce) {
    window->show();
    kit.processMessages();
    out.str("");
    window->setMaximum(id(MainControl::pbar), 330);
    for (int tick = 1; tick <= 340; ++tick) {
        window->stepIt(id(MainControl::pbar));
        window->setText(id(MainControl::lblPercent), std::to_string(tick * 100 / 330) + " %");
        window->setText(id(MainControl::lblMsg),
                        "Programming " + std::string(static_cast<std::size_t>(tick % 10), '.'));
        kit.processMessages();
    }
    EXPECT_EQ(count(out.str(), "Programming"), 1);
    EXPECT_EQ(count(out.str(), "["), 20);
    EXPECT_NE(out.str().find("[####################] 100 %"), std::string::npos);
    EXPECT_EQ(window->position(id(MainControl::pbar)), 330) << "the bar stops at its maximum";
}

TEST_F(TerminalMainWindow, TimersFireAndWorkersTasksRunOnTheMainThread) {
    window->setInterval(id(MainControl::tmr), 1);
    window->setEnabled(id(MainControl::tmr), true);
    kit.waitForMessages();
    kit.processMessages();
    EXPECT_NE(std::find(events.log.begin(), events.log.end(),
                        "timer " + std::to_string(id(MainControl::tmr))),
              events.log.end());

    window->setEnabled(id(MainControl::tmr), false);
    std::thread::id ranOn;
    std::thread worker([&] { kit.runOnMainThread([&] { ranOn = std::this_thread::get_id(); }); });
    worker.join();
    kit.waitForMessages();
    kit.processMessages();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(TerminalMainWindow, IdleWithNobodyAtTheKeyboardClosesTheWindow) {
    window->show();
    kit.waitForMessages(); // nothing runs and nothing is due
    EXPECT_EQ(events.log,
              std::vector<std::string>{"click " + std::to_string(id(MainControl::cmdClose))});
    EXPECT_TRUE(kit.terminated());
}

TEST_F(TerminalMainWindow, ScriptedChoiceAndUpdateAreTakenOnceEach) {
    TerminalScript script;
    script.driveIndex = 1;
    script.pressUpdate = true;
    TerminalToolkit scripted(in, out, script);
    Events own;
    auto main = scripted.createWindow(ui::kZelfinMainWindow, own, nullptr);
    main->addItem(id(MainControl::cboDrives), "a");
    main->addItem(id(MainControl::cboDrives), "b");
    main->show();
    scripted.waitForMessages();
    scripted.waitForMessages();
    EXPECT_EQ(main->selectedIndex(id(MainControl::cboDrives)), 1);
    scripted.waitForMessages();
    const std::vector<std::string> expected{"choose " + std::to_string(id(MainControl::cboDrives)),
                                            "click " + std::to_string(id(MainControl::cmdUpdate)),
                                            "click " + std::to_string(id(MainControl::cmdClose))};
    EXPECT_EQ(own.log, expected);
}

TEST_F(TerminalMainWindow, ModalWindowWithNobodyToAskTakesItsCloseButton) {
    Events dialogEvents;
    auto reboot = kit.createWindow(ui::kRebootWindow, dialogEvents, window.get());
    EXPECT_EQ(kit.showModal(*reboot), ui::ModalResult::Cancel);
    EXPECT_EQ(dialogEvents.log,
              std::vector<std::string>{
                  "click " + std::to_string(ui::idOf(ui::RebootControl::cmdRebootLater))});
    EXPECT_NE(out.str().find("== Reboot Warning ==\nYour computer needs to be rebooted.\n"),
              std::string::npos);
    EXPECT_FALSE(kit.terminated()) << "closing a dialog does not end the program";
}

} // namespace
} // namespace zelfin::terminal
