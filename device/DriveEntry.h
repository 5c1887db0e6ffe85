#pragma once
// One found optical drive. Text fields are single-byte characters, NUL-terminated and
// NUL-filled.
#include <cstdint>

namespace zelfin {

struct DriveEntry {
    uint8_t storageDescriptor[40]; // STORAGE_PROPERTY_QUERY in, first 40 descriptor bytes out
    char displayId[32];            // 8 vendor + 16 product characters, then zeros
    char vendorId[9];
    char productId[17];
    char revision[5];
    char vendorSpecific[17];
    char root[4]; // e.g. "D:\", empty for drives found through ASPI
    uint8_t flashId[4];
    int16_t adapter;
    int16_t target;
    int16_t lun;
    int16_t pathId;
    uint8_t present;
    uint8_t eligible;
    uint8_t viaAspi;
    uint16_t groupIndex;
    int16_t upToDate;
};

static_assert(sizeof(DriveEntry::displayId) == 32 && sizeof(DriveEntry::vendorId) == 9 &&
              sizeof(DriveEntry::productId) == 17 && sizeof(DriveEntry::revision) == 5 &&
              sizeof(DriveEntry::vendorSpecific) == 17 && sizeof(DriveEntry::root) == 4);

inline constexpr int kMaxDrives = 16;

} // namespace zelfin
