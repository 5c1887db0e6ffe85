#pragma once
// What a run asks of the machine around the drives: keeping each job's drive to itself, keeping
// the system and this process up until the run is over, and the restart afterwards. Each system
// says it in its own terms behind these calls; the Win32, Linux and simulated machines implement
// it beside their Platform.
#include "device/Platform.h"

#include <cstdint>

namespace zelfin {

// The drive a job holds: its root as the drive list has it and its SCSI address.
struct DriveName {
    const char* root = "";
    int16_t adapter = -1;
    int16_t pathId = -1;
    int16_t target = -1;
    int16_t lun = -1;
};

class Session {
public:
    virtual ~Session() = default;

    // Keeps every other program, every other copy of this one and the file system off a drive
    // until ReleaseDrive, as far as the system can: an exclusive open, a named mutex, a volume
    // lock. driveHandle is the job's own open handle of the drive (kInvalidHandle under ASPI).
    // A refusal returns kInvalidHandle and its reason; kErrorBusy: someone else has the drive.
    virtual OpenResult HoldDrive(const DriveName& drive, OsHandle driveHandle) = 0;
    virtual void ReleaseDrive(OsHandle hold) = 0;

    // A run, from its first job's start until the drives have been read again after it. In
    // between, the system is kept from shutting down or sleeping where it lets a program
    // refuse, and requests to end this process (signals, console events) are held; StopHeld
    // says one arrived, and the program ends once the run has.
    virtual void BeginRun() = 0;
    virtual bool StopHeld() = 0;
    virtual void EndRun() = 0;

    // Asks the system to restart now, by force where it has a choice, after acquiring whatever
    // right that takes. True when the request was accepted; the program ends either way.
    virtual bool RestartSystem() = 0;
};

} // namespace zelfin
