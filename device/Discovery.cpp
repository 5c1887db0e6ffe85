#include "device/AtapiDevice.h"

#include <algorithm>
#include <cstring>

namespace zelfin {

namespace {

// Walks the NUL-separated root strings the OS reported, never past `length` characters.
template <typename Visit> void ForEachRoot(const char* list, uint32_t length, Visit visit) {
    const char* end = list + length;
    for (const char* root = list; root < end && *root != '\0';) {
        const auto size = static_cast<std::size_t>(std::find(root, end, '\0') - root);
        if (root + size == end) {
            return; // unterminated tail: not a root string
        }
        if (!visit(root, size)) {
            return;
        }
        root += size + 1;
    }
}

// The drive string list in a zero-filled process heap block; null when there is none. *size
// receives the characters filled (0 when the OS reports no strings).
char* ReadDriveStrings(Platform& os, uint32_t& filled, bool& noHeap) {
    filled = 0;
    noHeap = false;
    const uint32_t needed = os.GetLogicalDriveStrings(0, nullptr);
    if (needed == 0) {
        return nullptr;
    }
    auto* block = static_cast<char*>(os.HeapAllocZeroed(needed));
    if (block == nullptr) {
        noHeap = true;
        return nullptr;
    }
    const uint32_t got = os.GetLogicalDriveStrings(needed, block);
    // A list that grew between the two calls is not trusted.
    filled = got < needed ? got : 0;
    return block;
}

int32_t SortKey(const DriveEntry& slot) {
    return slot.adapter * 4096 + slot.pathId * 256 + slot.target * 16 + slot.lun;
}

} // namespace

void AtapiDevice::ScanDrives() {
    CloseDrive();
    for (;;) {
        std::memset(drives_, 0, sizeof(drives_));
        driveCount_ = 0;
        if (useAspi_) {
            ScanAspi();
        } else {
            ScanPassThrough();
        }
        for (DriveEntry& slot : drives_) {
            if (slot.present) {
                ++driveCount_;
                slot.viaAspi = useAspi_;
            }
        }
        // ASPI seeing fewer optical drives than the OS lists: use pass-through instead.
        if (useAspi_ && platform.isNtFamily && CountCdromLetters() > driveCount_) {
            useAspi_ = 0;
            UnloadAspi();
            continue;
        }
        break;
    }
    SortDrives();

    for (int16_t index = 0; index < kMaxDrives && drives_[index].present; ++index) {
        DriveEntry& slot = drives_[index];
        SelectDrive(index);
        ClearUnitAttention();
        for (int attempt = 0; attempt < kIdentityAttempts; ++attempt) {
            if (ReadIdentity()) {
                CopyIdentityToSlot(slot);
                break;
            }
        }
        if (ReadFlashId()) {
            std::memcpy(slot.flashId, readBuffer, sizeof(slot.flashId));
        }
        CloseDrive();
    }
}

void AtapiDevice::ScanPassThrough() {
    uint32_t filled = 0;
    bool noHeap = false;
    char* list = ReadDriveStrings(*os_, filled, noHeap);
    if (list == nullptr) {
        return;
    }
    int slotCount = 0;
    int16_t withoutAddress = 0;
    ForEachRoot(list, filled, [&](const char* root, std::size_t size) {
        if (os_->GetDriveType(root) != kDriveCdrom) {
            return true;
        }
        if (slotCount >= kMaxDrives) {
            return false;
        }
        DriveEntry& slot = drives_[slotCount];
        if (size < sizeof(slot.root)) { // a drive root ("D:\"); anything longer is no letter
            std::memcpy(slot.root, root, size);
            slot.viaAspi = 0;
            int16_t port = -1;
            int16_t path = 0;
            int16_t target = -1;
            int16_t lun = 0;
            if (QueryScsiAddress(root, port, path, target, lun)) {
                slot.present = 1;
                if (port == -1 && target == -1) {
                    slot.adapter = static_cast<int16_t>(2 + withoutAddress);
                    slot.target = slot.lun = slot.pathId = 0;
                    ++withoutAddress;
                } else {
                    slot.adapter = port;
                    slot.target = target;
                    slot.lun = lun;
                    slot.pathId = path;
                }
            }
            QueryStorageDescriptor(root, slot.storageDescriptor);
        }
        ++slotCount;
        return true;
    });
    os_->HeapFree(list);
}

bool AtapiDevice::QueryScsiAddress(const char* root, int16_t& port, int16_t& path, int16_t& target,
                                   int16_t& lun) {
    const OpenResult opened = OpenDrive(root);
    if (opened.handle == kInvalidHandle) {
        lastOsError = opened.error;
        return false;
    }
    ScsiAddress address{};
    address.Length = sizeof(ScsiAddress);
    const bool ok = os_->ScsiGetAddress(opened.handle, address);
    os_->CloseHandle(opened.handle);
    if (!ok) {
        port = -1; // the driver cannot tell: the caller makes an address up
        target = -1;
        return true;
    }
    if (address.Length == 0) {
        return false;
    }
    port = address.PortNumber;
    path = address.PathId;
    target = address.TargetId;
    lun = address.Lun;
    return true;
}

void AtapiDevice::QueryStorageDescriptor(const char* root, uint8_t* descriptor) {
    const OpenResult opened = OpenDrive(root);
    if (opened.handle == kInvalidHandle) {
        lastOsError = opened.error;
        return;
    }
    os_->StorageQueryProperty(opened.handle, descriptor, sizeof(DriveEntry::storageDescriptor));
    os_->CloseHandle(opened.handle);
}

int16_t AtapiDevice::CountCdromLetters() {
    uint32_t filled = 0;
    bool noHeap = false;
    char* list = ReadDriveStrings(*os_, filled, noHeap);
    if (list == nullptr) {
        return noHeap ? -1 : 0;
    }
    int16_t count = 0;
    ForEachRoot(list, filled, [&](const char* root, std::size_t) {
        if (os_->GetDriveType(root) == kDriveCdrom) {
            ++count;
        }
        return true;
    });
    os_->HeapFree(list);
    return count;
}

void AtapiDevice::ScanAspi() {
    if (sendCommand_ == 0) {
        return; // a missing entry point is never called
    }
    SrbHaInquiry first{};
    first.SRB_Cmd = kScHaInquiry;
    os_->CallSendASPI32Command(sendCommand_, &first, AspiRequestRefs{});
    if (first.SRB_Status != kSsComp) {
        return;
    }
    int slotCount = 0;
    for (uint8_t adapter = 0; adapter < first.HA_Count; ++adapter) {
        SrbHaInquiry inquiry{};
        inquiry.SRB_Cmd = kScHaInquiry;
        inquiry.SRB_HaId = adapter;
        os_->CallSendASPI32Command(sendCommand_, &inquiry, AspiRequestRefs{});
        if (inquiry.SRB_Status != kSsComp) {
            return;
        }
        for (uint8_t target = 0; target < 16; ++target) {
            for (uint8_t lun = 0; lun < 8; ++lun) {
                SrbGDevBlock device{};
                device.SRB_Cmd = kScGetDevType;
                device.SRB_HaId = adapter;
                device.SRB_Target = target;
                device.SRB_Lun = lun;
                os_->CallSendASPI32Command(sendCommand_, &device, AspiRequestRefs{});
                if (device.SRB_Status != kSsComp || device.SRB_DeviceType != kDtypeCdrom) {
                    continue;
                }
                if (slotCount >= kMaxDrives) {
                    return;
                }
                DriveEntry& slot = drives_[slotCount++];
                slot.present = 1;
                slot.adapter = adapter;
                slot.target = target;
                slot.lun = lun;
                slot.pathId = 0;
            }
        }
    }
}

void AtapiDevice::SortDrives() {
    DriveEntry sorted[kMaxDrives];
    int taken = 0;
    for (int pass = 0; pass < kMaxDrives; ++pass) {
        int best = -1;
        for (int i = 0; i < kMaxDrives; ++i) {
            if (drives_[i].present && (best < 0 || SortKey(drives_[i]) < SortKey(drives_[best]))) {
                best = i;
            }
        }
        if (best < 0) {
            break;
        }
        sorted[taken++] = drives_[best];
        drives_[best].present = 0;
    }
    std::memset(drives_, 0, sizeof(drives_));
    const int count = std::min<int>(taken, driveCount_);
    for (int i = 0; i < count; ++i) {
        drives_[i] = sorted[i];
        drives_[i].present = 1;
    }
}

bool AtapiDevice::ReadIdentity() {
    std::memset(&identity_, 0, sizeof(identity_));
    ClearReadBuffer(kInquiryLength);
    if (!Inquiry(0, 0, 0, static_cast<uint8_t>(kInquiryLength), 0)) {
        return false;
    }
    std::memcpy(identity_.vendorId, readBuffer + 8, 8);
    std::memcpy(identity_.productId, readBuffer + 16, 16);
    std::memcpy(identity_.revision, readBuffer + 32, 4);
    std::memcpy(identity_.vendorSpecific, readBuffer + 36, 16);
    return std::any_of(readBuffer + 8, readBuffer + 32, [](uint8_t b) { return b != 0; });
}

void AtapiDevice::CopyIdentityToSlot(DriveEntry& slot) const {
    std::memset(slot.displayId, 0, sizeof(slot.displayId));
    std::memset(slot.vendorId, 0, sizeof(slot.vendorId));
    std::memset(slot.productId, 0, sizeof(slot.productId));
    std::memset(slot.revision, 0, sizeof(slot.revision));
    std::memset(slot.vendorSpecific, 0, sizeof(slot.vendorSpecific));
    std::memcpy(slot.revision, identity_.revision, sizeof(slot.revision));
    std::memcpy(slot.vendorId, identity_.vendorId, sizeof(slot.vendorId));
    std::memcpy(slot.productId, identity_.productId, sizeof(slot.productId));
    std::memcpy(slot.vendorSpecific, identity_.vendorSpecific, sizeof(slot.vendorSpecific));
    std::memcpy(slot.displayId, identity_.vendorId, 8);
    std::memcpy(slot.displayId + 8, identity_.productId, 16);
}

bool AtapiDevice::RefreshIdentity(int attempts) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (ReadIdentity()) {
            if (currentIndex_ >= 0 && currentIndex_ < kMaxDrives) {
                CopyIdentityToSlot(drives_[currentIndex_]);
            }
            return true;
        }
    }
    return false;
}

} // namespace zelfin
