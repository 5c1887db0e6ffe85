// console-stop.exe: starts a program in this console, presses Ctrl+C in the console after a
// while, and exits with the program's exit status, so a test sees what the key does to it.
// Under wine the console must be a terminal (run it under script(1)): without one there is no
// console to press the key in.
//   console-stop SECONDS PROGRAM [ARGUMENTS...]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A handler of our own, not the ignore flag: that flag would pass to the program started.
BOOL WINAPI survive(DWORD) {
    return TRUE;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: console-stop SECONDS PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    std::string command;
    for (int i = 2; i < argc; ++i) {
        command += (i > 2 ? " \"" : "\"") + std::string(argv[i]) + "\"";
    }
    SetConsoleCtrlHandler(survive, TRUE);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "console-stop: cannot start %s: error %lu\n", argv[2], GetLastError());
        return 2;
    }
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(std::atof(argv[1]) * 1000)) ==
            WAIT_TIMEOUT &&
        !GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
        std::fprintf(stderr, "console-stop: no Ctrl+C: error %lu\n", GetLastError());
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 2;
    GetExitCodeProcess(process.hProcess, &status);
    return static_cast<int>(status);
}
