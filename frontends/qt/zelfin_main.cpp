// zelfin: the window program on this machine's own drives.
#include "app/Texts.h"
#include "app/Zelfin.h"
#include "frontends/cli/RealPlatform.h"
#include "frontends/qt/Glyphs.h"
#include "frontends/qt/QtToolkit.h"
#include "package/EmbeddedPackage.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>

#include <cstdio>
#include <string>

#ifdef __linux__
#include "frontends/qt/Elevation.h"
#include "platforms/linux/Rights.h"

#include <unistd.h>

extern char** environ;
#endif

namespace {

// The start-up drive checks' own refusal, for a user who could not be given the rights: on
// standard error at once (the window may never open), then in its box.
[[maybe_unused]] void sayAccessDenied() {
    const std::string text(zelfin::app::text::kAccessDenied);
    const std::string caption(zelfin::app::text::kSystemBoxCaption);
    std::fprintf(stderr, "%s\n%s\n", caption.c_str(), text.c_str());
}

int showAccessDenied() {
    zelfin::qt::QtToolkit toolkit;
    toolkit.systemBox(zelfin::app::text::kAccessDenied, zelfin::app::text::kSystemBoxCaption,
                      zelfin::ui::kStopIconOk);
    return 0;
}

} // namespace

int main([[maybe_unused]] int argc, char** argv) {
    bool accessDenied = false;
    bool privileged = false;
#ifdef __linux__
    // Qt reads plugin paths and plugin names from the environment of whoever started the
    // program; with rights the kernel granted at exec, that is someone with fewer rights.
    if (zelfin::linuxos::SecureExecution()) {
        std::fprintf(stderr, "zelfin: %s", zelfin::linuxos::kSecureExecutionRefusal);
        return 1;
    }
    privileged = zelfin::linuxos::HoldsRawIo() || getuid() == 0;
    if (!privileged && !zelfin::qt::startedByPkexec()) {
        const int status = zelfin::qt::runThroughPkexec(zelfin::qt::displayVariables(environ));
        if (status >= 0) {
            return status;
        }
        accessDenied = true;
        sayAccessDenied();
    }
    if (privileged) {
        zelfin::qt::keepToInstalledPlugins(argc, argv);
    }
#endif
    if (privileged) {
        // Not the program's own folder, where anyone may have put a plugins folder next to it.
        QCoreApplication::setLibraryPaths({QLibraryInfo::path(QLibraryInfo::PluginsPath)});
    }
    // The program takes no arguments: none of Qt's (-platformpluginpath, -plugin, ...) either.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    zelfin::qt::installFonts();
    QApplication::setWindowIcon(zelfin::qt::programIcon());
    if (accessDenied) {
        return showAccessDenied();
    }

    std::string whyNot;
    const auto platform = zelfin::cli::makeRealPlatform(whyNot);
    if (!platform) {
        QMessageBox::critical(nullptr, "Error", QString::fromStdString(whyNot));
        return 1;
    }
    // A signal during a run is held; the window's message line says so.
    zelfin::cli::GuardedPlatform guarded(*platform, zelfin::cli::processStops());
    zelfin::qt::QtToolkit toolkit;
    return zelfin::app::runZelfin(toolkit, guarded, zelfin::embeddedPackage(),
                                  zelfin::embeddedSeal());
}
