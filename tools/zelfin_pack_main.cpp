#include "tools/PackTool.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    try {
        return zelfin::pack::runPackTool(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                         std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "zelfin-pack: " << e.what() << '\n';
        return 1;
    }
}
