#pragma once
// The plain Win32 toolkit, seen from the program's entry point. The Win32 headers stay inside
// this folder's .cpp files: they rename several Platform methods by macro.

#include "ui/Toolkit.h"

#include <memory>
#include <string_view>

namespace zelfin::win32ui {

// The toolkit of the calling thread, which becomes the program's GUI thread. Throws
// std::runtime_error when the window system refuses to set it up.
std::unique_ptr<ui::Toolkit> makeToolkit();

// A last-resort error box for failures before or around the toolkit.
void showFatalError(std::string_view text);

} // namespace zelfin::win32ui
