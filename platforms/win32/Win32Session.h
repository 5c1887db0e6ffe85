#pragma once
// The Windows session: a job's drive held by a named mutex and a volume lock, the system kept
// awake and Ctrl+C held during a run, the restart with the shutdown privilege. Raw ANSI Win32
// calls only; the Win32 headers stay in the .cpp files.
#include "device/Session.h"

#include <cstddef>

namespace zelfin::win32 {

// Whether a self-relative security descriptor (as GetKernelObjectSecurity returns it) names
// BUILTIN\Administrators or LocalSystem as its owner: only an administrator can make such an
// object. False for no owner or a descriptor cut short.
bool OwnerIsAdministrators(const void* descriptor, std::size_t length);

class Win32Session final : public Session {
public:
    OpenResult HoldDrive(const DriveName& drive, OsHandle driveHandle) override;
    void ReleaseDrive(OsHandle hold) override;
    void BeginRun() override;
    bool StopHeld() override;
    void EndRun() override;
    bool RestartSystem() override;
};

} // namespace zelfin::win32
