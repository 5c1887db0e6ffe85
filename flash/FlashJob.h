#pragma once

#include "flash/FlashFailure.h"

#include <cstdint>

namespace zelfin {

class AtapiDevice;

// One programming job: the drive's own device object (borrowed; the caller owns it and keeps it
// until the end-of-job handler has run) and the bank to write.
struct FlashJob {
    AtapiDevice* device = nullptr;
    const uint8_t* imageStart = nullptr; // null when the bank could not be cut
    int32_t imageLength = 0;
    bool bootCode = false; // commit with the boot area (0xA0) rather than without it (0x80)
    // Where a failed job stopped; written by the worker, read once its end has been handled.
    FlashFailure* failure = nullptr;
};

} // namespace zelfin
