#pragma once
// The program's small pictures, drawn in code so nothing is loaded from files at run time.

#include <QIcon>

namespace zelfin::qt {

// The Update button's glyph: a normal and a disabled image.
QIcon updateGlyph();
// The window icon: a disc with the update arrow.
QIcon programIcon();

} // namespace zelfin::qt
