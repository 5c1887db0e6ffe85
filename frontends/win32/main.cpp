// zelfin.exe: the program on the Win32 toolkit and the machine's own platform and session.
#include "app/Zelfin.h"
#include "frontends/win32/Win32Ui.h"
#include "package/EmbeddedPackage.h"
#include "platforms/RealSystem.h"

#include <exception>
#include <string>

int main() {
    try {
        std::string whyNot;
        const zelfin::RealSystem real = zelfin::makeRealSystem(whyNot);
        const auto toolkit = zelfin::win32ui::makeToolkit();
        return zelfin::app::runZelfin(*toolkit, *real.platform, *real.session,
                                      zelfin::embeddedPackage(), zelfin::embeddedSeal());
    } catch (const std::exception& error) {
        zelfin::win32ui::showFatalError(error.what());
    } catch (...) {
        zelfin::win32ui::showFatalError("");
    }
    return 0;
}
