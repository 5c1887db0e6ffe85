#pragma once
// Shared set-up for the device tests: a simulated NT machine with drives on letters, and a view
// of the commands a drive received.
#include "device/AtapiDevice.h"
#include "sim/SimMachine.h"

#include <memory>
#include <string>
#include <vector>

namespace zelfin::testing {

// A machine with a fixed disk on C: and the given drives on D:, E:, ... (port 1, target 0, 1..).
struct NtMachine {
    sim::SimMachine machine{sim::OsFamily::NT};
    std::vector<sim::SimDrive*> drives;

    explicit NtMachine(int driveCount = 1) {
        machine.AddLetter('C', kDriveFixed);
        for (int i = 0; i < driveCount; ++i) {
            AddDrive(static_cast<char>('D' + i), sim::ScsiPlace{1, 0, static_cast<uint8_t>(i), 0});
        }
    }

    sim::SimDrive& AddDrive(char letter, sim::ScsiPlace place,
                            sim::AddressQuery query = sim::AddressQuery::Real) {
        sim::SimDrive& drive = machine.NewDrive(std::string(1, letter));
        drive.SetDisc(sim::Disc::Present);
        machine.AddOpticalLetter(letter, drive, place, query);
        drives.push_back(&drive);
        return drive;
    }
};

// A Windows 95 family machine whose ASPI manager lists the given drives on adapter 0,
// targets 0, 1, ...
struct AspiMachine {
    sim::SimMachine machine{sim::OsFamily::Windows95};
    std::vector<sim::SimDrive*> drives;

    explicit AspiMachine(int driveCount = 1) {
        machine.Aspi().installed = true;
        for (int i = 0; i < driveCount; ++i) {
            sim::SimDrive& drive = machine.NewDrive("aspi" + std::to_string(i));
            drive.SetDisc(sim::Disc::Present);
            machine.AddAspiDevice(0, static_cast<uint8_t>(i), 0, kDtypeCdrom, &drive);
            drives.push_back(&drive);
        }
    }
};

// The CDBs a drive received, in order, as the hex text of the transcript.
inline std::vector<std::string> CdbLines(const sim::SimDrive& drive) {
    std::vector<std::string> lines;
    for (const sim::TranscriptRecord& r : drive.Transcript()) {
        lines.push_back(sim::FormatTranscriptLine(r).substr(0, 35));
    }
    return lines;
}

inline std::string Text(const char* field) {
    return std::string(field);
}

} // namespace zelfin::testing
