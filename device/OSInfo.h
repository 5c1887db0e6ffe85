#pragma once
// Operating-system family and the system restart.
#include <cstdint>

namespace zelfin {

class Platform;

class OSInfo {
public:
    explicit OSInfo(Platform& platform);

    // Asks the OS to end the session with flags | EWX_FORCE; on the NT family the shutdown
    // privilege is enabled first. True when the request was accepted.
    bool ExitSystem(uint32_t flags);
    bool RestartSystem();

    uint8_t isNtFamily = 0;

private:
    Platform* platform_;
};

} // namespace zelfin
