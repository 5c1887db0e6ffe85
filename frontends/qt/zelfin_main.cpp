// zelfin: the window program on this machine's own drives.
#include "app/Zelfin.h"
#include "frontends/cli/RealPlatform.h"
#include "frontends/qt/Glyphs.h"
#include "frontends/qt/QtToolkit.h"
#include "package/EmbeddedPackage.h"

#include <QApplication>
#include <QMessageBox>

#include <string>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    zelfin::qt::installFonts();
    QApplication::setWindowIcon(zelfin::qt::programIcon());

    std::string whyNot;
    const auto platform = zelfin::cli::makeRealPlatform(whyNot);
    if (!platform) {
        QMessageBox::critical(nullptr, "Error", QString::fromStdString(whyNot));
        return 1;
    }
    // A signal during a run is held; the window's message line says so.
    zelfin::cli::GuardedPlatform guarded(*platform, zelfin::cli::processStops());
    zelfin::qt::QtToolkit toolkit;
    return zelfin::app::runZelfin(toolkit, guarded, zelfin::embeddedPackage());
}
