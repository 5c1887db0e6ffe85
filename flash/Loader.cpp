#include "flash/Loader.h"

#include "flash/LoaderArea.h"
#include "flash/ProfileTable.h"

#include <cstring>

namespace zelfin {

uint8_t* LoadProfile(AtapiDevice& device, uint8_t maker, uint8_t deviceCode, uint8_t idByte2,
                     uint8_t variant) {
    const int row = FindProfile(maker, deviceCode, idByte2, variant);
    if (row < 0 || device.writeBuffer == nullptr || device.writeCapacity < ProfileLength(row)) {
        return nullptr;
    }
    std::memcpy(device.writeBuffer, &kLoaderArea[LoaderOffset(row)], ProfileLength(row));
    return device.writeBuffer;
}

bool SendLoader(AtapiDevice& device) {
    // Both buffers take a whole loader with its header; every loader fits well within the
    // cleared area.
    static_assert(kLongHeaderLength + 1280 + 1 <= kLoaderBufferClear);
    if (device.writeBuffer == nullptr || device.writeCapacity < kLoaderBufferClear ||
        device.readBuffer == nullptr || device.readCapacity < kLoaderBufferClear) {
        return false;
    }
    std::memset(device.writeBuffer, 0, kLoaderBufferClear);

    if (!device.ReadFlashId()) {
        return false;
    }
    const uint8_t id[4] = {device.readBuffer[0], device.readBuffer[1], device.readBuffer[2],
                           device.readBuffer[3]};
    const int row = FindProfile(id[0], id[1], id[2], id[3]);
    if (row < 0) {
        return false;
    }

    const uint32_t length = ProfileLength(row);
    uint8_t* loader = LoadProfile(device, id[0], id[1], id[2], id[3]);
    if (loader == nullptr) {
        return false;
    }
    // readBuffer holds the loader while its header takes the front of writeBuffer.
    std::memcpy(device.readBuffer, loader, length);

    const ProfileEntry& entry = kProfileTable[static_cast<std::size_t>(row)];
    const std::size_t header = HeaderLength(row);
    uint8_t* out = device.writeBuffer;
    out[0] = entry.maker;
    out[1] = entry.device;
    out[2] = entry.idByte2;
    out[3] = entry.variant;
    if (header == kLongHeaderLength) {
        out[4] = entry.lengthHigh;
        out[5] = entry.lengthLow;
    }
    std::memcpy(out + header, device.readBuffer, length);

    // An odd loader goes out with one more byte, a zero left by the clearing above.
    const auto transfer = static_cast<uint32_t>(TransferLength(row));
    if (row < kFirstLongHeaderRow) {
        return device.WriteBuffer(kSmallChipLoaderOffset, transfer, kWriteCodePiece);
    }
    return device.WriteBuffer(0, transfer, kWriteCodeLoader);
}

} // namespace zelfin
