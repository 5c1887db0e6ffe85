#include "frontends/qt/QtWindow.h"

#include "frontends/qt/Glyphs.h"
#include "frontends/qt/QtToolkit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace zelfin::qt {
namespace {

// The frame the described outer sizes include: a sizeable border, or a dialog border, and the
// caption bar. Qt sizes the client area, so take them off.
constexpr int kSizeableBorder = 4;
constexpr int kDialogBorder = 3;
constexpr int kCaptionHeight = 19;

QString textOf(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QFont fontOf(const ui::Font& font) {
    QFont f(textOf(font.face));
    f.setPixelSize(font.heightPixels);
    f.setBold(font.bold);
    if (font.face == "Courier New") {
        // Without the hint a missing face is replaced by a proportional one.
        f.setStyleHint(QFont::TypeWriter);
        f.setFixedPitch(true);
    }
    return f;
}

QColor colourOf(const ui::Colour& colour, const QPalette& palette) {
    switch (colour.system) {
    case ui::SystemColour::WindowText:
        return palette.color(QPalette::WindowText);
    case ui::SystemColour::ButtonText:
        return palette.color(QPalette::ButtonText);
    case ui::SystemColour::ButtonFace:
        return palette.color(QPalette::Button);
    case ui::SystemColour::None:
        break;
    }
    return QColor(colour.red, colour.green, colour.blue);
}

// The disabled look stays the style's own, so a disabled button still looks disabled.
void paintText(QWidget& widget, const ui::Colour& colour) {
    QPalette palette = widget.palette();
    const QColor text = colourOf(colour, palette);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::ButtonText, text);
    }
    widget.setPalette(palette);
}

// Every item of the drop-down list is exactly as tall as described.
class FixedItemHeight final : public QStyledItemDelegate {
public:
    FixedItemHeight(int height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(height_);
        return size;
    }

private:
    int height_;
};

const char* kindName(ui::ControlKind kind) {
    switch (kind) {
    case ui::ControlKind::LoweredFrame:
        return "frame";
    case ui::ControlKind::Label:
        return "label";
    case ui::ControlKind::DropDownList:
        return "drop-down list";
    case ui::ControlKind::ProgressBar:
        return "progress bar";
    case ui::ControlKind::PushButton:
        return "push button";
    case ui::ControlKind::Timer:
        return "timer";
    }
    return "control";
}

} // namespace

Surface::Surface(QWidget* owner, std::function<bool()> tryClose)
    : QDialog(owner), tryClose_(std::move(tryClose)) {
}

void Surface::closeEvent(QCloseEvent* event) {
    // The title bar's close works like the window's Close button, and not while it is disabled
    // (an update is running).
    if (tryClose_()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void Surface::reject() {
    tryClose_();
}

QtWindow::QtWindow(QtToolkit& toolkit, const ui::WindowDescription& description,
                   ui::WindowEvents& events, QtWindow* owner)
    : toolkit_(toolkit), description_(description), events_(events), owner_(owner) {
    build();
}

QtWindow::~QtWindow() {
    toolkit_.forget(*this);
}

template <typename Widget>
Widget& QtWindow::widgetOf(ui::ControlId id, ui::ControlKind kind) const {
    if (id >= controls_.size() || description_.controls[id].kind != kind) {
        throw std::logic_error(std::string(description_.name) + ": control " + std::to_string(id) +
                               " is not a " + kindName(kind));
    }
    auto* widget = qobject_cast<Widget*>(controls_[id].widget);
    if (widget == nullptr) {
        throw std::logic_error(std::string(description_.name) + ": control " + std::to_string(id) +
                               " has no widget");
    }
    return *widget;
}

void QtWindow::build() {
    surface_ = std::make_unique<Surface>(owner_ != nullptr ? &owner_->surface() : nullptr,
                                         [this] { return closeByUser(); });
    Surface& s = *surface_;
    s.setObjectName(textOf(description_.name));
    s.setWindowTitle(textOf(description_.caption));
    s.setFont(fontOf(description_.defaultFont));
    s.setSizeGripEnabled(false);

    Qt::WindowFlags flags = Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    flags |= owner_ != nullptr ? Qt::Dialog : Qt::Window;
    if (description_.titleBar.windowMenu) {
        flags |= Qt::WindowSystemMenuHint;
    }
    if (description_.titleBar.closeBox) {
        flags |= Qt::WindowCloseButtonHint;
    }
    if (description_.titleBar.minimiseBox) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    if (description_.titleBar.maximiseBox) {
        flags |= Qt::WindowMaximizeButtonHint;
    }
    s.setWindowFlags(flags);

    const bool sizeable = description_.border == ui::BorderStyle::Sizeable;
    const int border = sizeable ? kSizeableBorder : kDialogBorder;
    const QSize client(description_.outerWidth - 2 * border,
                       description_.outerHeight - 2 * border - kCaptionHeight);
    if (sizeable) {
        s.resize(client); // the controls keep their places when the user resizes
    } else {
        s.setFixedSize(client);
    }
    if (description_.ownIcon) {
        s.setWindowIcon(s.style()->standardIcon(QStyle::SP_MessageBoxWarning));
    }

    controls_.resize(description_.controls.size());
    for (const ui::ControlDescription& d : description_.controls) {
        buildControl(d);
    }
    setTabOrder();
}

void QtWindow::buildControl(const ui::ControlDescription& d) {
    Surface& s = *surface_;
    Control& c = controls_[d.id];
    const QRect bounds(d.bounds.left, d.bounds.top, d.bounds.width, d.bounds.height);
    switch (d.kind) {
    case ui::ControlKind::LoweredFrame: {
        auto* frame = new QFrame(&s);
        frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        frame->setGeometry(bounds);
        c.widget = frame;
        break;
    }
    case ui::ControlKind::Label: {
        auto* label = new QLabel(textOf(d.text), &s);
        label->setTextFormat(Qt::PlainText);
        if (d.hasFont) {
            label->setFont(fontOf(d.font));
            paintText(*label, d.font.colour);
        }
        label->move(bounds.topLeft());
        label->adjustSize(); // labels size themselves to their text
        c.widget = label;
        break;
    }
    case ui::ControlKind::DropDownList: {
        auto* list = new QComboBox(&s);
        list->setEditable(!d.choiceOnly);
        auto* view = new QListView(list);
        list->setView(view);
        if (d.hasFont) {
            list->setFont(fontOf(d.font));
            view->setFont(fontOf(d.font));
        }
        if (d.itemHeight > 0) {
            view->setItemDelegate(new FixedItemHeight(d.itemHeight, view));
        }
        list->setGeometry(bounds);
        // Only the user's choice reaches the handler; a choice made by code does not.
        QObject::connect(list, &QComboBox::activated, list,
                         [this, id = d.id](int) { events_.selectionChanged(id); });
        c.widget = list;
        break;
    }
    case ui::ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(&s);
        bar->setTextVisible(false);
        bar->setRange(d.rangeMinimum, d.rangeMaximum);
        bar->setValue(d.rangeMinimum);
        bar->setGeometry(bounds);
        c.widget = bar;
        break;
    }
    case ui::ControlKind::PushButton: {
        auto* button = new QPushButton(textOf(d.text), &s);
        if (d.hasFont) {
            button->setFont(fontOf(d.font));
            paintText(*button, d.font.colour);
        }
        if (!d.tooltip.empty()) {
            button->setToolTip(textOf(d.tooltip));
        }
        if (d.button == ui::ButtonKind::Glyph) {
            button->setIcon(updateGlyph());
        }
        if (description_.defaultButton == static_cast<int>(d.id)) {
            button->setDefault(true);
        }
        button->setGeometry(bounds);
        QObject::connect(button, &QPushButton::clicked, button, [this, &d] { press(d); });
        c.widget = button;
        break;
    }
    case ui::ControlKind::Timer: {
        auto* timer = new QTimer(&s);
        timer->setInterval(static_cast<int>(d.intervalMs));
        QObject::connect(timer, &QTimer::timeout, timer,
                         [this, id = d.id] { events_.timerFired(id); });
        if (d.enabled) {
            timer->start();
        }
        c.timer = timer;
        return;
    }
    }
    c.widget->setObjectName(textOf(d.name));
}

void QtWindow::setTabOrder() {
    std::vector<const ui::ControlDescription*> stops;
    for (const ui::ControlDescription& d : description_.controls) {
        if (d.tabOrder != ui::kNoTabStop && controls_[d.id].widget != nullptr) {
            stops.push_back(&d);
        } else if (controls_[d.id].widget != nullptr) {
            controls_[d.id].widget->setFocusPolicy(Qt::NoFocus);
        }
    }
    std::sort(stops.begin(), stops.end(),
              [](auto* a, auto* b) { return a->tabOrder < b->tabOrder; });
    for (std::size_t i = 0; i + 1 < stops.size(); ++i) {
        QWidget::setTabOrder(controls_[stops[i]->id].widget, controls_[stops[i + 1]->id].widget);
    }
    if (!stops.empty()) {
        controls_[stops.front()->id].widget->setFocus();
    }
}

void QtWindow::press(const ui::ControlDescription& d) {
    if (!controls_[d.id].widget->isEnabled()) {
        return;
    }
    events_.controlClicked(d.id);
    if (d.button == ui::ButtonKind::Close) {
        if (modal_) {
            surface_->done(static_cast<int>(ui::ModalResult::Cancel));
        } else {
            surface_->hide();
            toolkit_.windowClosed(*this);
        }
    } else if (d.button == ui::ButtonKind::Yes && modal_) {
        surface_->done(static_cast<int>(ui::ModalResult::Yes));
    }
}

bool QtWindow::closeByUser() {
    for (const ui::ControlDescription& d : description_.controls) {
        if (d.kind == ui::ControlKind::PushButton && d.button == ui::ButtonKind::Close) {
            if (!controls_[d.id].widget->isEnabled()) {
                return false;
            }
            press(d);
            return true;
        }
    }
    return false; // a window without a close-kind button is not closed by its frame
}

void QtWindow::place() {
    if (placed_) {
        return;
    }
    placed_ = true;
    QRect area;
    if (description_.placement == ui::Placement::OwnerCentre && owner_ != nullptr) {
        area = owner_->surface().frameGeometry();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (area.isValid()) {
        QRect frame = surface_->frameGeometry();
        frame.moveCenter(area.center());
        surface_->move(frame.topLeft());
    }
}

ui::ModalResult QtWindow::runModal() {
    place();
    modal_ = true;
    surface_->setWindowModality(Qt::ApplicationModal);
    const int result = surface_->exec();
    modal_ = false;
    return result == static_cast<int>(ui::ModalResult::Yes) ? ui::ModalResult::Yes
                                                            : ui::ModalResult::Cancel;
}

void QtWindow::setCaption(std::string_view caption) {
    surface_->setWindowTitle(textOf(caption));
}

void QtWindow::show() {
    place();
    surface_->show();
}

void QtWindow::setText(ui::ControlId label, std::string_view text) {
    auto& widget = widgetOf<QLabel>(label, ui::ControlKind::Label);
    widget.setText(textOf(text));
    widget.adjustSize();
}

void QtWindow::setFontColour(ui::ControlId label, ui::Colour colour) {
    paintText(widgetOf<QLabel>(label, ui::ControlKind::Label), colour);
}

void QtWindow::setVisible(ui::ControlId label, bool visible) {
    widgetOf<QLabel>(label, ui::ControlKind::Label).setVisible(visible);
}

void QtWindow::setEnabled(ui::ControlId control, bool enabled) {
    if (control < controls_.size() && controls_[control].timer != nullptr) {
        if (enabled) {
            controls_[control].timer->start();
        } else {
            controls_[control].timer->stop();
        }
        return;
    }
    widgetOf<QPushButton>(control, ui::ControlKind::PushButton).setEnabled(enabled);
}

void QtWindow::clearItems(ui::ControlId list) {
    widgetOf<QComboBox>(list, ui::ControlKind::DropDownList).clear();
}

void QtWindow::addItem(ui::ControlId list, std::string_view text) {
    widgetOf<QComboBox>(list, ui::ControlKind::DropDownList).addItem(textOf(text));
}

int QtWindow::selectedIndex(ui::ControlId list) const {
    return widgetOf<QComboBox>(list, ui::ControlKind::DropDownList).currentIndex();
}

void QtWindow::selectIndex(ui::ControlId list, int index) {
    widgetOf<QComboBox>(list, ui::ControlKind::DropDownList).setCurrentIndex(index);
}

void QtWindow::setMinimum(ui::ControlId bar, int minimum) {
    widgetOf<QProgressBar>(bar, ui::ControlKind::ProgressBar).setMinimum(minimum);
}

void QtWindow::setMaximum(ui::ControlId bar, int maximum) {
    widgetOf<QProgressBar>(bar, ui::ControlKind::ProgressBar).setMaximum(maximum);
}

void QtWindow::setStep(ui::ControlId bar, int step) {
    widgetOf<QProgressBar>(bar, ui::ControlKind::ProgressBar);
    controls_[bar].step = step;
}

void QtWindow::setPosition(ui::ControlId bar, int position) {
    auto& widget = widgetOf<QProgressBar>(bar, ui::ControlKind::ProgressBar);
    widget.setValue(std::clamp(position, widget.minimum(), widget.maximum()));
}

void QtWindow::stepIt(ui::ControlId bar) {
    auto& widget = widgetOf<QProgressBar>(bar, ui::ControlKind::ProgressBar);
    // A bar that steps past its end starts again from its minimum, as the native control does.
    int next = widget.value() + controls_[bar].step;
    if (next > widget.maximum()) {
        next = widget.minimum() + (next - widget.maximum());
    }
    widget.setValue(std::clamp(next, widget.minimum(), widget.maximum()));
}

int QtWindow::position(ui::ControlId bar) const {
    return widgetOf<QProgressBar>(bar, ui::ControlKind::ProgressBar).value();
}

int QtWindow::maximum(ui::ControlId bar) const {
    return widgetOf<QProgressBar>(bar, ui::ControlKind::ProgressBar).maximum();
}

void QtWindow::setInterval(ui::ControlId timer, unsigned milliseconds) {
    if (timer >= controls_.size() || controls_[timer].timer == nullptr) {
        throw std::logic_error(std::string(description_.name) + ": control " +
                               std::to_string(timer) + " is not a timer");
    }
    controls_[timer].timer->setInterval(static_cast<int>(milliseconds));
}

void QtWindow::removeWindowMenuItem(int) {
    throw std::logic_error("removeWindowMenuItem: this window has no window menu");
}

} // namespace zelfin::qt
