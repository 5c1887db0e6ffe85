// The window program's user journeys through the real Qt widgets on the offscreen platform: a
// robot answers each dialog as a person would, presses the buttons, and saves screenshots.
#include "frontends/qt/QtWindow.h"
#include "app/Zelfin.h"
#include "flash/LoaderArea.h"
#include "frontends/qt/DemoMachine.h"
#include "frontends/qt/QtToolkit.h"
#include "sim/SimFlash.h"
#include "tools/TestPackage.h"
#include "ui/ZelfinWindows.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace zelfin::qt {
namespace {

constexpr int kTimeLimitMs = 60'000;

QWidget* topLevel(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == name && w->isVisible()) {
            return w;
        }
    }
    return nullptr;
}

void screenshot(QWidget& widget, const char* name) {
    QDir().mkpath(ZELFIN_SCREENSHOT_DIR);
    EXPECT_TRUE(widget.grab().save(QString(ZELFIN_SCREENSHOT_DIR "/") + name)) << name;
}

// Acts on whatever the screen shows, every few milliseconds, until the program ends.
class Robot {
public:
    explicit Robot(bool screenshots) : screenshots_(screenshots) {
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, [this] { act(); });
        timer_.start(5);
    }

    std::vector<std::string> dialogs;   // "Caption: text" of every message box, in order
    std::vector<std::string> listAtEnd; // the drive list when the result was shown
    bool sawReboot = false;
    std::string rebootFocus;
    bool sawProgramming = false; // the window was caught programming, its bar moving
    bool timedOut = false;

private:
    void act() {
        if (clock_.elapsed() > kTimeLimitMs) {
            timedOut = true;
            std::cerr << "the program did not end in time; dialogs so far: " << dialogs.size()
                      << '\n';
            std::_Exit(3); // a missed dialog must fail the test, never hang it
        }
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            answer(*box);
            return;
        }
        if (QWidget* reboot = QApplication::activeModalWidget();
            reboot != nullptr && reboot->objectName() == "Reboot") {
            sawReboot = true;
            rebootFocus = reboot->focusWidget()->objectName().toStdString();
            if (screenshots_) {
                screenshot(*reboot, "reboot.png");
            }
            // Enter, as a person would press it: the focused button answers, not the default.
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(reboot->focusWidget(), &enter);
            return;
        }
        QWidget* main = topLevel("ZelfinMain");
        if (main == nullptr) {
            return;
        }
        auto* update = main->findChild<QPushButton*>("cmdUpdate");
        auto* bar = main->findChild<QProgressBar*>("pbar");
        if (!pressed_ && update->isEnabled()) {
            if (screenshots_) {
                screenshot(*main, "main.png");
            }
            pressed_ = true;
            update->click();
        } else if (pressed_ && !shotRunning_ && bar->value() >= 30 &&
                   main->findChild<QLabel*>("lblMsg")->text().startsWith("Programming")) {
            shotRunning_ = true;
            sawProgramming = true;
            if (screenshots_) {
                screenshot(*main, "main-running.png");
            }
        }
    }

    void answer(QMessageBox& box) {
        dialogs.push_back(box.windowTitle().toStdString() + ": " + box.text().toStdString());
        if (box.windowTitle() == "Information" || box.windowTitle() == "Error") {
            if (QWidget* main = topLevel("ZelfinMain")) {
                auto* list = main->findChild<QComboBox*>("cboDrives");
                for (int i = 0; i < list->count(); ++i) {
                    listAtEnd.push_back(list->itemText(i).toStdString());
                }
            }
        }
        for (QAbstractButton* button : box.buttons()) {
            if (button->text() == "&Yes" || button->text() == "OK") {
                button->click();
                return;
            }
        }
    }

    bool screenshots_;
    bool pressed_ = false;
    bool shotRunning_ = false;
    QElapsedTimer clock_;
    QTimer timer_;
};

bool contains(const std::vector<std::string>& texts, const std::string& part) {
    for (const std::string& t : texts) {
        if (t.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Commands that may change a drive's flash or its state toward a flash.
bool programmed(const sim::SimDrive& drive) {
    return drive.CommandCount(0x3B) + drive.CommandCount(0x3C) + drive.CommandCount(0xF2) > 0;
}

struct DemoRun {
    sim::Scenario machine;
    std::unique_ptr<Robot> robot;
};

// The run with screenshots takes a fast drive's real time (a few seconds), so the window can be
// caught in the middle of programming.
DemoRun runDemo(const std::string& extraLines, bool screenshots) {
    DemoRun run{demoMachine(screenshots ? 0.0005 : 0.0, extraLines),
                std::make_unique<Robot>(screenshots)};
    const auto block = testpackage::makeShippedBlock();
    QtToolkit toolkit;
    app::runZelfin(toolkit, *run.machine.machine, *run.machine.machine, *block,
                   makeSeal(*block, kLoaderArea));
    return run;
}

TEST(QtWindow, AnUpdateRunsFromTheNoticeToTheRebootPrompt) {
    DemoRun run = runDemo("", true);
    const Robot& robot = *run.robot;

    ASSERT_GE(robot.dialogs.size(), 2u);
    EXPECT_EQ(0u, robot.dialogs.front().find("Warning: This flash utility only supports"));
    EXPECT_TRUE(contains(robot.dialogs, "Information: Firmware has been updated successfully !"));
    EXPECT_TRUE(contains(robot.listAtEnd, "1A07")) << "the list shows the new revision";
    EXPECT_TRUE(robot.sawReboot);
    EXPECT_EQ("cmdRebootLater", robot.rebootFocus);
    EXPECT_EQ(run.machine.machine->RestartRequests(), 0) << "Enter on Later restarted";
    EXPECT_TRUE(robot.sawProgramming);

    sim::SimDrive& rvm = *run.machine.drives.at(0);
    sim::SimDrive& other = *run.machine.drives.at(1);
    EXPECT_EQ("1A07", rvm.Revision());
    EXPECT_TRUE(programmed(rvm));
    EXPECT_FALSE(programmed(other)) << "the drive of another maker was touched";
}

TEST(QtWindow, AReadBackThatNeverVerifiesEndsWithTheFailureMessage) {
    DemoRun run = runDemo("fault D readback\n", false);
    const Robot& robot = *run.robot;

    EXPECT_EQ("Error: Unable to flash firmware. Please contact with your vendor !",
              robot.dialogs.back());
    EXPECT_FALSE(robot.sawReboot);
    EXPECT_EQ("1A05", run.machine.drives.at(0)->Revision());
}

struct CountingEvents final : ui::WindowEvents {
    void controlClicked(ui::ControlId control) override { clicked.push_back(control); }
    void selectionChanged(ui::ControlId) override { ++changes; }
    void timerFired(ui::ControlId) override {}
    std::vector<ui::ControlId> clicked;
    int changes = 0;
};

TEST(QtWindow, BuildsTheMainWindowAsDescribedAndClosesOnlyThroughClose) {
    using ui::MainControl;
    QtToolkit toolkit;
    CountingEvents events;
    auto window = toolkit.createWindow(ui::kZelfinMainWindow, events, nullptr);
    auto& surface = dynamic_cast<QtWindow&>(*window).surface();
    window->show();

    for (const ui::ControlDescription& d : ui::kZelfinMainWindow.controls) {
        auto* widget = surface.findChild<QWidget*>(QString::fromLatin1(d.name));
        if (d.kind == ui::ControlKind::Timer) {
            continue;
        }
        ASSERT_NE(nullptr, widget) << d.name;
        EXPECT_EQ(QPoint(d.bounds.left, d.bounds.top), widget->pos()) << d.name;
        if (d.kind != ui::ControlKind::Label) {
            EXPECT_EQ(QSize(d.bounds.width, d.bounds.height), widget->size()) << d.name;
        }
    }
    EXPECT_EQ(surface.findChild<QWidget*>("cboDrives"), surface.focusWidget());

    // A choice made by code reaches no handler; the user's choice does.
    const auto list = ui::idOf(MainControl::cboDrives);
    window->addItem(list, "first");
    window->addItem(list, "second");
    window->selectIndex(list, 1);
    EXPECT_EQ(0, events.changes);
    Q_EMIT surface.findChild<QComboBox*>("cboDrives")->activated(0);
    EXPECT_EQ(1, events.changes);

    // While Close is disabled the title bar cannot close the window either.
    window->setEnabled(ui::idOf(MainControl::cmdClose), false);
    EXPECT_FALSE(surface.close());
    EXPECT_FALSE(toolkit.terminated());
    window->setEnabled(ui::idOf(MainControl::cmdClose), true);
    EXPECT_TRUE(surface.close());
    EXPECT_TRUE(toolkit.terminated());
    EXPECT_EQ(std::vector<ui::ControlId>{ui::idOf(MainControl::cmdClose)}, events.clicked);
}

} // namespace
} // namespace zelfin::qt

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    zelfin::qt::installFonts();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
