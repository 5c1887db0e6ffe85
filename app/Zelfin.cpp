#include "app/Zelfin.h"

#include "app/TZelfinMain.h"

#include <exception>
#include <memory>

namespace zelfin::app {
namespace {

void runMessageLoop(ui::Toolkit& toolkit) {
    while (!toolkit.terminated()) {
        toolkit.waitForMessages();
        toolkit.processMessages();
    }
}

} // namespace

int runZelfin(ui::Toolkit& toolkit, Platform& platform, Session& session, const PackageBlock& block,
              const PackageSeal& seal, RunReport* report, CommandObserver* observer) {
    try {
        TZelfinMain main(toolkit, platform, session, block, seal, report, observer);
        if (!toolkit.terminated()) {
            main.show();
        }
        runMessageLoop(toolkit);
    } catch (const std::exception& error) {
        toolkit.messageDialog(ui::DialogType::Error, error.what(), ui::DialogButtons::Ok);
    } catch (...) {
        toolkit.messageDialog(ui::DialogType::Error, "", ui::DialogButtons::Ok);
    }
    return 0;
}

} // namespace zelfin::app
