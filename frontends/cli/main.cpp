#include "frontends/cli/Cli.h"
#include "package/EmbeddedPackage.h"

#include <exception>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        return zelfin::cli::runCli(args, zelfin::embeddedPackage(), zelfin::embeddedSeal(),
                                   std::cin, std::cout, std::cerr, isatty(STDIN_FILENO) == 1);
    } catch (const std::exception& error) {
        std::cerr << "zelfin-cli: " << error.what() << '\n';
        return 1;
    }
}
