#include "frontends/cli/Cli.h"
#include "package/EmbeddedPackage.h"

#include <csignal>
#include <exception>
#include <iostream>
#include <unistd.h>

#ifdef __linux__
#include "platforms/linux/Rights.h"
#endif

int main(int argc, char** argv) {
#ifdef __linux__
    // Refused rather than run: the files it is told to read and write and the environment it
    // runs in come from someone with fewer rights than the kernel granted at exec.
    if (zelfin::linuxos::SecureExecution()) {
        std::cerr << "zelfin-cli: " << zelfin::linuxos::kSecureExecutionRefusal;
        return zelfin::cli::kExitFailed;
    }
#endif
#ifdef SIGPIPE
    // A reader that goes away (`| head`) must not end an update: output that cannot be written
    // is dropped, and the program runs on to its end and its exit status.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        return zelfin::cli::runCli(args, zelfin::embeddedPackage(), zelfin::embeddedSeal(),
                                   std::cin, std::cout, std::cerr, isatty(STDIN_FILENO) == 1);
    } catch (const std::exception& error) {
        std::cerr << "zelfin-cli: " << error.what() << '\n';
        return 1;
    }
}
