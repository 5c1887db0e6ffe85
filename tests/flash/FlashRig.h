#pragma once
// A simulated machine with one drive of the supported model whose flash holds an old image, a
// device object with that drive selected, and readers for what the drive received.

#include "device/AtapiDevice.h"
#include "sim/SimFlash.h"
#include "sim/SimMachine.h"
#include "tools/TestPackage.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zelfin::flashtest {

inline const sim::FlashId kSst2Mbit{0xBF, 0xD6, 0x00, 0x01}; // profile row 2

// What the drive holds before an update: an older boot area and main firmware.
inline constexpr std::string_view kOldBoot = "B090";
inline std::vector<uint8_t> OldImage() {
    return testpackage::makeImage(kOldBoot, testpackage::kOldRevision);
}
// The image the package ships (bank 1 is all of it).
inline const std::vector<uint8_t>& NewImage() {
    static const std::vector<uint8_t> image =
        testpackage::makeImage(testpackage::kBootRevision, testpackage::kNewRevision);
    return image;
}

inline Cdb WriteBufferCdb(uint32_t offset, uint32_t length, uint8_t code) {
    Cdb c = cdb::kWriteBuffer;
    cdb::PutBigEndian(c, 3, 3, offset);
    cdb::PutBigEndian(c, 6, 3, length);
    c[9] = code;
    return c;
}
inline Cdb ReadBufferCdb(uint32_t offset) {
    Cdb c = cdb::kReadBuffer;
    cdb::PutBigEndian(c, 3, 3, offset);
    cdb::PutBigEndian(c, 6, 3, 4096);
    return c;
}

struct FlashRig {
    explicit FlashRig(const sim::FlashId& chip = kSst2Mbit,
                      const std::vector<uint8_t>& contents = OldImage())
        : drive(machine.NewDrive("E")), flash(sim::SimFlash::Install(drive, chip, contents)) {
        machine.AddOpticalLetter('E', drive);
        device = std::make_unique<AtapiDevice>(machine, true);
        device->SelectDrive(0);
        drive.ClearTranscript();
    }

    std::vector<Cdb> Sent() const {
        std::vector<Cdb> cdbs;
        for (const sim::TranscriptRecord& r : drive.Transcript()) {
            cdbs.push_back(r.cdb);
        }
        return cdbs;
    }
    uint32_t Count(uint8_t opcode) const { return drive.CommandCount(opcode); }
    bool Committed() const {
        for (const Cdb& c : Sent()) {
            if (c[0] == 0x3B && (c[9] == 0x80 || c[9] == 0xA0)) {
                return true;
            }
        }
        return false;
    }
    // The revision the drive reports to a fresh INQUIRY after whatever restarts it went through.
    std::string ReportedRevision() {
        device->RefreshIdentity();
        return device->Identity().revision;
    }

    sim::SimMachine machine;
    sim::SimDrive& drive;
    sim::SimFlash& flash;
    std::unique_ptr<AtapiDevice> device;
};

} // namespace zelfin::flashtest
