#include "frontends/cli/Cli.h"
#include "package/EmbeddedPackage.h"

#include <csignal>
#include <exception>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
#ifdef SIGPIPE
    // A reader that goes away (`| head`) must not end an update: output that cannot be written
    // is dropped, and the program runs on to its end and its exit status.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        return zelfin::cli::runCli(args, zelfin::embeddedPackage(), std::cin, std::cout, std::cerr,
                                   isatty(STDIN_FILENO) == 1);
    } catch (const std::exception& error) {
        std::cerr << "zelfin-cli: " << error.what() << '\n';
        return 1;
    }
}
