#pragma once
// The Linux session: a job's drive held by an exclusive open, a run guarded by logind's
// inhibitor lock and by holding the signals that would end this process, the restart asked of
// the init system. Device and process calls go through LinuxCalls.
#include "device/Session.h"
#include "platforms/linux/LinuxCalls.h"

#include <memory>
#include <string>

namespace zelfin::linuxos {

class LinuxSession final : public Session {
public:
    // The machine itself.
    LinuxSession();
    // Calls made through `calls`; /dev and /run are looked up under `root` ("" for /).
    LinuxSession(LinuxCalls& calls, std::string root);
    ~LinuxSession() override;
    LinuxSession(const LinuxSession&) = delete;
    LinuxSession& operator=(const LinuxSession&) = delete;

    OpenResult HoldDrive(const DriveName& drive, OsHandle driveHandle) override;
    void ReleaseDrive(OsHandle hold) override;
    void BeginRun() override;
    bool StopHeld() override;
    void EndRun() override;
    bool RestartSystem() override;

private:
    std::unique_ptr<LinuxCalls> own_;
    LinuxCalls* calls_;
    std::string root_;
    int inhibitor_ = -1; // the logind lock of the run under way, when it was had
};

} // namespace zelfin::linuxos
