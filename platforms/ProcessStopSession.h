#pragma once
// Another session with this process's requests to end it (signals, console events) held from
// BeginRun to EndRun, as the system delivers them. Everything else is the other session's.
#include "device/Session.h"

namespace zelfin {

struct ProcessStops {
    void (*hold)();
    bool (*held)();
    void (*release)();
};

class ProcessStopSession final : public Session {
public:
    ProcessStopSession(Session& machine, ProcessStops stops) : machine_(machine), stops_(stops) {}

    OpenResult HoldDrive(const DriveName& drive, OsHandle driveHandle) override {
        return machine_.HoldDrive(drive, driveHandle);
    }
    void ReleaseDrive(OsHandle hold) override { machine_.ReleaseDrive(hold); }
    void BeginRun() override {
        machine_.BeginRun();
        stops_.hold();
    }
    bool StopHeld() override { return machine_.StopHeld() || stops_.held(); }
    // The machine's guards go first, as in the real sessions.
    void EndRun() override {
        machine_.EndRun();
        stops_.release();
    }
    bool RestartSystem() override { return machine_.RestartSystem(); }

private:
    Session& machine_;
    ProcessStops stops_;
};

} // namespace zelfin
