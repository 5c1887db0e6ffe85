#pragma once
// Ctrl+C and Ctrl+Break at the console: held while a run is under way. Closing the console
// window, logging off and shutting down cannot be refused by a console program.

namespace zelfin::win32 {

void HoldConsoleStops();
bool ConsoleStopHeld();
void ReleaseConsoleStops();

} // namespace zelfin::win32
