#include "frontends/qt/DemoMachine.h"

#include <sstream>

namespace zelfin::qt {

sim::Scenario demoMachine(double commandSeconds, const std::string& extraLines) {
    std::ostringstream text;
    text << (commandSeconds > 0 ? "clock real\n" : "clock virtual\n")
         << "os nt\n"
            "letter C fixed\n"
            "drive D BRYMOTE \"DVDRW RVM-270A\" 1A05 port=1 target=0 seconds="
         << commandSeconds
         << "\n"
            "drive E OTHER \"DVD-ROM X16\" 2.10 other port=1 target=1\n"
            "firmware D\n"
         << extraLines;
    return sim::ParseScenario(text.str());
}

} // namespace zelfin::qt
