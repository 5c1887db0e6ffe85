// zelfin-demo: the window program on a simulated machine, carrying the synthetic package, so
// anyone can watch a whole update without a drive at risk.
#include "app/Zelfin.h"
#include "flash/LoaderArea.h"
#include "frontends/qt/DemoMachine.h"
#include "frontends/qt/Glyphs.h"
#include "frontends/qt/QtToolkit.h"
#include "tools/TestPackage.h"

#include <QApplication>

#include <iostream>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    zelfin::qt::installFonts();
    QApplication::setWindowIcon(zelfin::qt::programIcon());

    const auto block = zelfin::testpackage::makeShippedBlock();
    zelfin::sim::Scenario machine = zelfin::qt::demoMachine(zelfin::qt::kDemoCommandSeconds);
    zelfin::qt::QtToolkit toolkit;
    zelfin::app::runZelfin(toolkit, *machine.machine, *machine.machine, *block,
                           zelfin::makeSeal(*block, zelfin::kLoaderArea));
    for (const zelfin::sim::SimDrive* drive : machine.drives) {
        std::cout << "simulated drive " << drive->Name() << ": revision " << drive->Revision()
                  << '\n';
    }
    return 0;
}
