#include "BenchRig.h"

#include "tools/TestPackage.h"

namespace zelfin::bench {

const std::vector<uint8_t>& NewImage() {
    static const std::vector<uint8_t> image =
        testpackage::makeImage(testpackage::kBootRevision, testpackage::kNewRevision);
    return image;
}

BenchRig::BenchRig(int count, double costScale) {
    static const std::vector<uint8_t> old =
        testpackage::makeImage("B090", testpackage::kOldRevision);
    for (int i = 0; i < count; ++i) {
        sim::SimDrive& drive = machine.NewDrive("drive");
        sim::SimFlash& flash = sim::SimFlash::Install(drive, kChip, old);
        sim::SimFlashTimes& t = flash.Times();
        t.loader *= costScale;
        t.piece *= costScale;
        t.readBack *= costScale;
        t.commit *= costScale;
        t.downloadPiece *= costScale;
        t.downloadEnd *= costScale;
        t.other *= costScale;
        machine.AddOpticalLetter(static_cast<char>('D' + i), drive,
                                 sim::ScsiPlace{0, 0, static_cast<uint8_t>(i), 0});
        drives.push_back(&drive);
        flashes.push_back(&flash);
    }
}

} // namespace zelfin::bench
