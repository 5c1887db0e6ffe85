#pragma once
// What the product keeps for the life of the process: the decoded settings and the current bank.
// One object, owned by the main window, instead of globals.

#include "package/Package.h"

namespace zelfin::app {

struct ProcessState {
    Settings settings;
    Bank currentBank;
};

} // namespace zelfin::app
