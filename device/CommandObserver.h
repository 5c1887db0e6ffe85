#pragma once
// Hears of every command a device object finished or refused: a front end's trace, a
// benchmark's clock. Device objects of one run share one observer from several threads.
#include "device/CommandResult.h"

#include <cstdint>
#include <span>

namespace zelfin {

class AtapiDevice;

class CommandObserver {
public:
    // Called once per command, on the thread that sent it, before ExecuteCommand returns. May
    // run on several threads at once; must not allocate per call.
    virtual void CommandEnded(const AtapiDevice& device, std::span<const uint8_t, 12> cdb,
                              uint8_t direction, uint32_t length, const CommandResult& result) = 0;

protected:
    ~CommandObserver() = default;
};

} // namespace zelfin
