// zelfin-sim-window.exe: the window program on a simulated machine, for looking at the windows
// and driving them without any ASPI manager. Arguments: SCENARIO-FILE [TRANSCRIPT-FILE]; the
// package is the synthetic one that zelfin-pack ships.
#include "app/Zelfin.h"
#include "frontends/cli/Scenario.h"
#include "frontends/win32/Win32Ui.h"
#include "sim/Transcript.h"
#include "tools/TestPackage.h"

#include <exception>
#include <fstream>

int main(int argc, char** argv) {
    try {
        if (argc < 2) {
            zelfin::win32ui::showFatalError("usage: zelfin-sim-window SCENARIO [TRANSCRIPT]");
            return 2;
        }
        const zelfin::cli::Scenario scenario = zelfin::cli::readScenarioFile(argv[1]);
        const auto block = zelfin::testpackage::makeShippedBlock();
        {
            const auto toolkit = zelfin::win32ui::makeToolkit();
            zelfin::app::runZelfin(*toolkit, *scenario.machine, *block);
        }
        if (argc > 2) {
            std::ofstream out(argv[2]);
            for (const zelfin::cli::SimulatedDrive& d : scenario.drives) {
                for (const auto& record : d.drive->Transcript()) {
                    out << zelfin::sim::FormatTranscriptLine(record) << '\n';
                }
            }
        }
        return 0;
    } catch (const std::exception& error) {
        zelfin::win32ui::showFatalError(error.what());
        return 1;
    }
}
