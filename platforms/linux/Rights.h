#pragma once
// Where this process's rights came from, for the programs to decide before they start anything
// that reads the caller's environment.

namespace zelfin::linuxos {

// The kernel marked this process for secure execution (AT_SECURE): its rights came from file
// capabilities or set-user-ID, so the caller's environment belongs to someone with fewer rights.
bool SecureExecution();

// The process may send a drive's raw commands: effective user root, or CAP_SYS_RAWIO.
bool HoldsRawIo();

// What a program in secure execution says on standard error before it ends.
inline constexpr const char* kSecureExecutionRefusal =
    "this program refuses to run with rights from file capabilities or set-user-ID: remove "
    "them (setcap -r, chmod u-s) and run it through pkexec or as root\n";

} // namespace zelfin::linuxos
