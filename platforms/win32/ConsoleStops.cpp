#include "platforms/win32/ConsoleStops.h"

#include <windows.h>

#include <atomic>

namespace zelfin::win32 {
namespace {

// The system calls the handler on a thread of its own: it reaches only what is static.
std::atomic<bool> held{false};
bool holding = false;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE; // the system ends the process whatever a handler answers
    }
    held = true; // the program's message line tells the user
    return TRUE;
}

} // namespace

void HoldConsoleStops() {
    if (holding) {
        return;
    }
    held = false;
    holding = ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != FALSE;
}

bool ConsoleStopHeld() {
    return held.load();
}

void ReleaseConsoleStops() {
    if (holding) {
        ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
        holding = false;
    }
}

} // namespace zelfin::win32
