#pragma once
// Identifying the drive's flash chip and sending it the drive-side loader that suits it.

#include "device/AtapiDevice.h"

#include <cstdint>

namespace zelfin {

// The writeBuffer bytes SendLoader clears before it starts.
inline constexpr uint32_t kLoaderBufferClear = 32768;
// Where the loader of rows 0 and 1 goes, and the code that goes with it.
inline constexpr uint32_t kSmallChipLoaderOffset = 0x80000;

// Copies the loader of the matching row to the start of writeBuffer and returns writeBuffer;
// null, with the buffer untouched, when no row matches or the buffer cannot hold the loader.
uint8_t* LoadProfile(AtapiDevice& device, uint8_t maker, uint8_t deviceCode, uint8_t idByte2,
                     uint8_t variant);

// Reads the flash identification and sends the matching loader behind its header. False when
// the identification cannot be read or is all zero, when no row matches, or when the WRITE
// BUFFER fails.
bool SendLoader(AtapiDevice& device);

} // namespace zelfin
