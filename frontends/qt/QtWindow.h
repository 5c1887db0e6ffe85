#pragma once
// One window built from its description with Qt widgets. The window is a dialog-class widget
// so the reboot prompt can run modally; the main window shows no minimise or maximise box.

#include "ui/Toolkit.h"

#include <QDialog>

#include <memory>
#include <vector>

class QTimer;
class QWidget;

namespace zelfin::qt {

class QtToolkit;

// The top-level widget. It routes the title bar's close and the Escape key through the
// window's close-kind button, so a window closes only the way its description allows.
class Surface final : public QDialog {
public:
    Surface(QWidget* owner, std::function<bool()> tryClose);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    std::function<bool()> tryClose_;
};

class QtWindow final : public ui::Window {
public:
    QtWindow(QtToolkit& toolkit, const ui::WindowDescription& description, ui::WindowEvents& events,
             QtWindow* owner);
    ~QtWindow() override;
    QtWindow(const QtWindow&) = delete;
    QtWindow& operator=(const QtWindow&) = delete;

    void setCaption(std::string_view caption) override;
    void show() override;
    void setText(ui::ControlId label, std::string_view text) override;
    void setFontColour(ui::ControlId label, ui::Colour colour) override;
    void setVisible(ui::ControlId label, bool visible) override;
    void setEnabled(ui::ControlId control, bool enabled) override;
    void clearItems(ui::ControlId list) override;
    void addItem(ui::ControlId list, std::string_view text) override;
    int selectedIndex(ui::ControlId list) const override;
    void selectIndex(ui::ControlId list, int index) override;
    void setMinimum(ui::ControlId bar, int minimum) override;
    void setMaximum(ui::ControlId bar, int maximum) override;
    void setStep(ui::ControlId bar, int step) override;
    void setPosition(ui::ControlId bar, int position) override;
    void stepIt(ui::ControlId bar) override;
    int position(ui::ControlId bar) const override;
    int maximum(ui::ControlId bar) const override;
    void setInterval(ui::ControlId timer, unsigned milliseconds) override;
    // Linux window managers give no window menu to edit.
    bool hasWindowMenu() const override { return false; }
    void removeWindowMenuItem(int position) override;

    Surface& surface() { return *surface_; }
    const ui::WindowDescription& description() const { return description_; }
    // Runs the window modally until a close-kind or yes-kind button ends it.
    ui::ModalResult runModal();

private:
    struct Control {
        QWidget* widget = nullptr; // owned by the surface
        QTimer* timer = nullptr;   // owned by the surface
        int step = 10;
    };

    template <typename Widget> Widget& widgetOf(ui::ControlId id, ui::ControlKind kind) const;
    void build();
    void buildControl(const ui::ControlDescription& d);
    void setTabOrder();
    void press(const ui::ControlDescription& d);
    bool closeByUser();
    void place();

    QtToolkit& toolkit_;
    const ui::WindowDescription& description_;
    ui::WindowEvents& events_;
    QtWindow* owner_;
    std::unique_ptr<Surface> surface_;
    std::vector<Control> controls_;
    bool modal_ = false;
    bool placed_ = false;
};

} // namespace zelfin::qt
