// zelfin.exe: the program on the Win32 toolkit and the machine's own platform.
#include "app/Zelfin.h"
#include "frontends/win32/Win32Ui.h"
#include "package/EmbeddedPackage.h"
#include "platforms/win32/Win32Platform.h"

#include <exception>

int main() {
    try {
        zelfin::win32::Win32Platform platform;
        const auto toolkit = zelfin::win32ui::makeToolkit();
        return zelfin::app::runZelfin(*toolkit, platform, zelfin::embeddedPackage(),
                                      zelfin::embeddedSeal());
    } catch (const std::exception& error) {
        zelfin::win32ui::showFatalError(error.what());
    } catch (...) {
        zelfin::win32ui::showFatalError("");
    }
    return 0;
}
