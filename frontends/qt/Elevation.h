#pragma once
// The window program's rights on Linux, settled before Qt starts. A user without them starts the
// program once more through pkexec, so the system's own authentication dialog asks, as Windows
// asks for a program whose manifest wants administrator rights. Only the display crosses over:
// Qt chooses the code it loads (plugins, themes, input methods) from the environment.
#include <string>
#include <vector>

namespace zelfin::qt {

// The pkexec exit statuses for a copy that never ran: the dialog was dismissed or the user is
// not allowed (126), the authentication failed or pkexec could not run the program (127).
inline constexpr int kPkexecNotAuthorized = 126;
inline constexpr int kPkexecFailed = 127;

// The variables that reach the copy started through pkexec ("NAME=value"): DISPLAY and
// XAUTHORITY of `environment`, nothing else. A Wayland session reaches the copy through
// XWayland, whose display these name.
std::vector<std::string> displayVariables(const char* const* environment);

// What runThroughPkexec returns when no copy ran: pkexec refused or failed (kPkexecNotAuthorized
// / kPkexecFailed), or there is no pkexec to start.
inline constexpr int kPkexecRefused = -1;
inline constexpr int kNoPkexec = -2;

// Starts this program's own file through pkexec (looked up on PATH) with `variables` as the
// whole environment and, after the path, as its arguments (pkexec keeps DISPLAY and XAUTHORITY
// only for an action that allows a window), and waits: the copy's exit status, or
// kPkexecRefused / kNoPkexec when no copy ran.
int runThroughPkexec(const std::vector<std::string>& variables);

// This process is the copy pkexec started (pkexec sets PKEXEC_UID).
bool startedByPkexec();

// For a process with the rights (root or CAP_SYS_RAWIO): removes every QT_ variable, so none
// chooses a plugin or where plugins come from; in the copy pkexec started, takes DISPLAY and
// XAUTHORITY from the arguments runThroughPkexec gave and has Qt use the X display. Call before
// Qt starts.
void keepToInstalledPlugins(int argc, char** argv);

} // namespace zelfin::qt
