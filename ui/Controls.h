#pragma once
// Small handles that let handler code read like the window it drives: lblMsg.setText("Done.").

#include "ui/Toolkit.h"

#include <string_view>

namespace zelfin::ui {

class ControlHandle {
public:
    ControlHandle(Window& window, ControlId id) : window_(&window), id_(id) {}

protected:
    Window& window() const { return *window_; }
    ControlId id() const { return id_; }

private:
    Window* window_;
    ControlId id_;
};

class Label : public ControlHandle {
public:
    using ControlHandle::ControlHandle;
    void setText(std::string_view text) const { window().setText(id(), text); }
    void setFontColour(Colour colour) const { window().setFontColour(id(), colour); }
    void setVisible(bool visible) const { window().setVisible(id(), visible); }
};

class PushButton : public ControlHandle {
public:
    using ControlHandle::ControlHandle;
    void setEnabled(bool enabled) const { window().setEnabled(id(), enabled); }
};

class DropDownList : public ControlHandle {
public:
    using ControlHandle::ControlHandle;
    void clear() const { window().clearItems(id()); }
    void add(std::string_view text) const { window().addItem(id(), text); }
    int selectedIndex() const { return window().selectedIndex(id()); }
    void select(int index) const { window().selectIndex(id(), index); }
};

class ProgressBar : public ControlHandle {
public:
    using ControlHandle::ControlHandle;
    void setMinimum(int minimum) const { window().setMinimum(id(), minimum); }
    void setMaximum(int maximum) const { window().setMaximum(id(), maximum); }
    void setStep(int step) const { window().setStep(id(), step); }
    void setPosition(int position) const { window().setPosition(id(), position); }
    void stepIt() const { window().stepIt(id()); }
    int position() const { return window().position(id()); }
    int maximum() const { return window().maximum(id()); }
};

class Timer : public ControlHandle {
public:
    using ControlHandle::ControlHandle;
    void setInterval(unsigned milliseconds) const { window().setInterval(id(), milliseconds); }
    void setEnabled(bool enabled) const { window().setEnabled(id(), enabled); }
};

} // namespace zelfin::ui
