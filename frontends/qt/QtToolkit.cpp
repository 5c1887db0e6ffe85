#include "frontends/qt/QtToolkit.h"

#include "frontends/qt/QtWindow.h"

#include <QApplication>
#include <QFont>
#include <QMessageBox>
#include <QPushButton>
#include <QSessionManager>

#include <algorithm>
#include <stdexcept>

namespace zelfin::qt {
namespace {

QString textOf(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::Icon iconOf(ui::DialogType type) {
    switch (type) {
    case ui::DialogType::Warning:
        return QMessageBox::Warning;
    case ui::DialogType::Error:
        return QMessageBox::Critical;
    case ui::DialogType::Information:
        return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void installFonts() {
    // Metric-compatible faces first, so texts fit the places they were laid out for.
    QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "Arial", "DejaVu Sans"});
    QFont::insertSubstitutions("Arial", {"Liberation Sans", "DejaVu Sans"});
    QFont::insertSubstitutions("Tahoma", {"Liberation Sans", "DejaVu Sans"});
    QFont::insertSubstitutions("Verdana", {"DejaVu Sans", "Liberation Sans"});
    QFont::insertSubstitutions("Courier New", {"Liberation Mono", "DejaVu Sans Mono"});
    QFont font("MS Sans Serif");
    font.setPixelSize(11);
    QApplication::setFont(font);
}

QtToolkit::QtToolkit() {
    if (QApplication::instance() == nullptr) {
        throw std::logic_error("QtToolkit: create the QApplication first");
    }
#ifndef QT_NO_SESSIONMANAGER
    // Logging out half-way through a commit can leave the drive without working firmware. The
    // manager lets a program cancel only once it has been given the interaction phase.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &dispatcher_,
                     [this](QSessionManager& manager) {
                         if (runUnderWay_ && manager.allowsInteraction()) {
                             manager.cancel();
                         }
                     });
#endif
}

QtToolkit::~QtToolkit() = default;

std::unique_ptr<ui::Window> QtToolkit::createWindow(const ui::WindowDescription& description,
                                                    ui::WindowEvents& events, ui::Window* owner) {
    QtWindow* ownerWindow = nullptr;
    if (owner != nullptr) {
        ownerWindow = dynamic_cast<QtWindow*>(owner);
        if (ownerWindow == nullptr) {
            throw std::logic_error("createWindow: the owner is not a window of this toolkit");
        }
    }
    auto window = std::make_unique<QtWindow>(*this, description, events, ownerWindow);
    windows_.push_back(window.get());
    return window;
}

void QtToolkit::forget(const QtWindow& window) {
    std::erase(windows_, &window);
}

void QtToolkit::windowClosed(const QtWindow& window) {
    if (!windows_.empty() && windows_.front() == &window) {
        terminate();
    }
}

ui::ModalResult QtToolkit::showModal(ui::Window& window) {
    auto* modal = dynamic_cast<QtWindow*>(&window);
    if (modal == nullptr) {
        throw std::logic_error("showModal: not a window of this toolkit");
    }
    return modal->runModal();
}

ui::DialogAnswer QtToolkit::messageDialog(ui::DialogType type, std::string_view text,
                                          ui::DialogButtons buttons) {
    QMessageBox box(iconOf(type), ui::dialogCaption(type), textOf(text));
    box.setTextFormat(Qt::PlainText);
    if (buttons == ui::DialogButtons::Ok) {
        box.addButton("OK", QMessageBox::AcceptRole);
        box.exec();
        return ui::DialogAnswer::Ok;
    }
    QPushButton* yes = box.addButton("&Yes", QMessageBox::YesRole);
    box.addButton("&No", QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.exec();
    return box.clickedButton() == yes ? ui::DialogAnswer::Yes : ui::DialogAnswer::No;
}

void QtToolkit::systemBox(std::string_view text, std::string_view caption, std::uint32_t flags) {
    QMessageBox box((flags & ui::kStopIconOk) == ui::kStopIconOk ? QMessageBox::Critical
                                                                 : QMessageBox::NoIcon,
                    textOf(caption), textOf(text));
    box.setTextFormat(Qt::PlainText);
    box.addButton("OK", QMessageBox::AcceptRole);
    box.exec();
}

void QtToolkit::processMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtToolkit::waitForMessages() {
    // Waits for the next event and dispatches what has arrived; the caller then dispatches the
    // rest.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtToolkit::terminate() {
    terminated_ = true;
}

void QtToolkit::runOnMainThread(std::function<void()> task) {
    // A queued call is posted under Qt's own lock; after it returns the worker no longer
    // touches the toolkit.
    QMetaObject::invokeMethod(
        &dispatcher_, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

} // namespace zelfin::qt
