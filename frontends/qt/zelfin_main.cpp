// zelfin: the window program on this machine's own drives.
#include "app/PackageRefusal.h"
#include "app/Texts.h"
#include "app/Zelfin.h"
#include "frontends/qt/Glyphs.h"
#include "frontends/qt/QtToolkit.h"
#include "package/EmbeddedPackage.h"
#include "package/ProgramVersion.h"
#include "platforms/RealSystem.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>

#include <cstdio>
#include <string>
#include <string_view>

#ifdef __linux__
#include "frontends/qt/Elevation.h"
#include "platforms/linux/Rights.h"

#include <unistd.h>

extern char** environ;
#endif

namespace {

constexpr const char* kUsage =
    "usage: zelfin [--version | --help]\n"
    "Updates BRYMOTE DVDRW RVM-270A drives with the firmware packed into this copy; without the\n"
    "rights it asks for them through pkexec.\n"
    "Exit status: 0 the window was shown and closed, 1 it could not start its work, 2 usage.\n";

enum class Start { Run, Done, Usage };

// Only --version and --help, alone. The copy pkexec starts gets NAME=value arguments, which are
// no options.
Start readArguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argc == 2 && argument == "--version") {
            const std::string text =
                zelfin::versionText("zelfin", zelfin::embeddedPackage(), zelfin::embeddedSeal());
            std::fputs(text.c_str(), stdout);
            return Start::Done;
        }
        if (argc == 2 && (argument == "--help" || argument == "-h")) {
            std::fputs(kUsage, stdout);
            return Start::Done;
        }
        if (argument.starts_with('-')) {
            std::fprintf(stderr, "zelfin: unknown argument %s\n%s", argv[i], kUsage);
            return Start::Usage;
        }
    }
    return Start::Run;
}

// A refusal, on standard error at once (the window may never open), then in its box.
void sayOnStandardError(std::string_view caption, std::string_view text) {
    std::fprintf(stderr, "%.*s\n%.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
}

int showAccessDenied() {
    zelfin::qt::QtToolkit toolkit;
    toolkit.systemBox(zelfin::app::text::kAccessDenied, zelfin::app::text::kSystemBoxCaption,
                      zelfin::ui::kStopIconOk);
    return 1;
}

int showPackageRefusal(std::string_view refusal) {
    zelfin::qt::QtToolkit toolkit;
    toolkit.messageDialog(zelfin::ui::DialogType::Error, refusal, zelfin::ui::DialogButtons::Ok);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    switch (readArguments(argc, argv)) {
    case Start::Done:
        return 0;
    case Start::Usage:
        return 2;
    case Start::Run:
        break;
    }
    // A copy that could never update a drive says so before anyone is asked for a password.
    const std::string_view refusal =
        zelfin::app::packageRefusal(zelfin::embeddedPackage(), zelfin::embeddedSeal());
    if (!refusal.empty()) {
        sayOnStandardError(zelfin::ui::dialogCaption(zelfin::ui::DialogType::Error), refusal);
    }
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
    if (!privileged && refusal.empty() && !zelfin::qt::startedByPkexec()) {
        const int status = zelfin::qt::runThroughPkexec(zelfin::qt::displayVariables(environ));
        if (status >= 0) {
            return status;
        }
        accessDenied = true;
        sayOnStandardError(zelfin::app::text::kSystemBoxCaption, zelfin::app::text::kAccessDenied);
        std::fputs(status == zelfin::qt::kNoPkexec
                       ? "zelfin: pkexec is not installed: install it (on Debian: apt install "
                         "pkexec), or start zelfin as root with sudo\n"
                       : "zelfin: pkexec did not give the rights: start zelfin again and "
                         "authenticate as an administrator, or start it as root with sudo\n",
                   stderr);
    }
    if (privileged) {
        zelfin::qt::keepToInstalledPlugins(argc, argv);
    }
#endif
    if (privileged) {
        // Not the program's own folder, where anyone may have put a plugins folder next to it.
        QCoreApplication::setLibraryPaths({QLibraryInfo::path(QLibraryInfo::PluginsPath)});
    }
    // The program takes no arguments for Qt (-platformpluginpath, -plugin, ...).
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    zelfin::qt::installFonts();
    QApplication::setWindowIcon(zelfin::qt::programIcon());
    if (!refusal.empty()) {
        return showPackageRefusal(refusal);
    }
    if (accessDenied) {
        return showAccessDenied();
    }

    std::string whyNot;
    const zelfin::RealSystem real = zelfin::makeRealSystem(whyNot);
    if (!real.platform) {
        QMessageBox::critical(nullptr, "Error", QString::fromStdString(whyNot));
        return 1;
    }
    // A signal during a run is held by the session; the window's message line says so.
    zelfin::qt::QtToolkit toolkit;
    return zelfin::app::runZelfin(toolkit, *real.platform, *real.session, zelfin::embeddedPackage(),
                                  zelfin::embeddedSeal());
}
