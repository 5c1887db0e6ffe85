#include "device/AtapiDevice.h"

#include <cstring>

namespace zelfin {

namespace {

constexpr char kAspiFileName[] = "WNASPI32.DLL";
constexpr const char* kSupportInfoName = "GetASPI32SupportInfo";
constexpr const char* kSendCommandName = "SendASPI32Command";
constexpr uint32_t kErrorBox = kMbIconError | kMbOk;

uint8_t* AllocateBuffer(Platform& os, uint32_t& capacity) {
    auto* buffer = static_cast<uint8_t*>(os.HeapAllocZeroed(kBufferCapacity));
    capacity = buffer != nullptr ? kBufferCapacity : 0;
    return buffer;
}

uint8_t SupportStatus(uint32_t supportInfo) {
    return static_cast<uint8_t>(supportInfo >> 8);
}

// Appends the manager's file name to the folder of length `used` in path. False when the
// folder is empty or the whole path would not fit.
bool AppendAspiFileName(char (&path)[kMaxAspiPath], uint32_t used) {
    if (used == 0 || used >= kMaxAspiPath) {
        return false;
    }
    if (path[used - 1] != '\\') {
        path[used++] = '\\';
    }
    if (used + sizeof(kAspiFileName) > kMaxAspiPath) {
        return false;
    }
    std::memcpy(path + used, kAspiFileName, sizeof(kAspiFileName));
    return true;
}

// The manager's full path in the program's own folder; false when that cannot be told.
bool BesideProgram(Platform& os, char (&path)[kMaxAspiPath]) {
    const uint32_t length = os.GetModuleFileName(path, kMaxAspiPath);
    if (length == 0 || length >= kMaxAspiPath) {
        return false; // failed, or cut short: a shortened path names another file
    }
    uint32_t folder = length;
    while (folder > 0 && path[folder - 1] != '\\') {
        --folder;
    }
    return AppendAspiFileName(path, folder);
}

// The manager's full path in the system folder; false when that cannot be told.
bool InSystemFolder(Platform& os, char (&path)[kMaxAspiPath]) {
    const uint32_t length = os.GetSystemDirectory(path, kMaxAspiPath);
    return length < kMaxAspiPath && AppendAspiFileName(path, length);
}

} // namespace

AtapiDevice::AtapiDevice(Platform& os, bool scan, uint16_t applicationTag,
                         CommandObserver* observer)
    : generalWatch(os), commandWatch(os), platform(os), os_(&os), observer_(observer) {
    readBuffer = AllocateBuffer(os, readCapacity);
    writeBuffer = AllocateBuffer(os, writeCapacity);

    useAspi_ = applicationTag == kPreferAspiTag ? 1 : 0;
    // On the NT family pass-through is the transport unless the tag asks for ASPI, and a
    // manager that will not be used is not loaded, not even to probe it.
    aspiAvailable_ = (useAspi_ || !platform.isNtFamily) && ProbeAspi() ? 1 : 0;
    useAspi_ = (useAspi_ && aspiAvailable_) ? 1 : 0;
    if (!platform.isNtFamily) {
        useAspi_ = 1; // the only transport outside the NT family, usable or not
    }
    UnloadAspi();
    if (useAspi_) {
        LoadAspi();
    }
    if (scan) {
        ScanDrives();
    }
}

AtapiDevice::~AtapiDevice() {
    // A request the ASPI manager never gave back may still write into the buffers: leave them
    // (and the manager) alone rather than free memory it can reach.
    if (!aspiAbandoned_) {
        os_->HeapFree(readBuffer);
        os_->HeapFree(writeBuffer);
        UnloadAspi();
    }
    readBuffer = nullptr;
    writeBuffer = nullptr;
    readCapacity = 0;
    writeCapacity = 0;
    CloseDrive();
}

// A bare name would also be looked for in the current directory and on PATH, where anyone may
// leave a library for this elevated process to run: only the program's own folder and the
// system folder are tried, each by its full path.
OsModule AtapiDevice::LoadAspiLibrary() {
    char path[kMaxAspiPath];
    if (BesideProgram(*os_, path)) {
        if (const OsModule module = os_->LoadLibrary(path); module != 0) {
            return module;
        }
    }
    if (InSystemFolder(*os_, path)) {
        return os_->LoadLibrary(path);
    }
    return 0;
}

bool AtapiDevice::ProbeAspi() {
    const OsModule module = LoadAspiLibrary();
    if (module == 0) {
        return false;
    }
    const ProcAddress info = os_->GetProcAddress(module, kSupportInfoName);
    const ProcAddress send = os_->GetProcAddress(module, kSendCommandName);
    if (info == 0 || send == 0) {
        os_->FreeLibrary(module);
        return false;
    }
    const uint8_t status = SupportStatus(os_->CallGetASPI32SupportInfo(info));
    os_->FreeLibrary(module);
    return status == kSsComp;
}

bool AtapiDevice::LoadAspi() {
    const OsModule module = LoadAspiLibrary();
    if (module == 0) {
        os_->MessageBox("LoadLibrary:\nWNASPI32.DLL not found.", "Error FS 002", kErrorBox);
        return false;
    }
    auto fail = [&](const char* text, const char* caption) {
        os_->MessageBox(text, caption, kErrorBox);
        os_->FreeLibrary(module);
        aspiModule_ = 0;
        supportInfo_ = 0;
        sendCommand_ = 0;
        return false;
    };
    const ProcAddress info = os_->GetProcAddress(module, kSupportInfoName);
    if (info == 0) {
        return fail("GetProcAddress:\nGetASPI32SupportInfo not fount.", "Error FS 003");
    }
    const ProcAddress send = os_->GetProcAddress(module, kSendCommandName);
    if (send == 0) {
        return fail("GetProcAddress:\npfnSendASPI32Command not found.", "Error FS 004");
    }
    const char* caption = "GetASPISupportInfo:";
    switch (SupportStatus(os_->CallGetASPI32SupportInfo(info))) {
    case kSsComp:
        aspiModule_ = module;
        supportInfo_ = info;
        sendCommand_ = send;
        return true;
    case kSsOldManager:
        return fail("Old ASPI manager.", caption);
    case kSsIllegalMode:
        return fail("ASPI for Windows does not support real mode.", caption);
    case kSsNoAspi:
        return fail("Could not find the ASPI manager.", caption);
    default:
        return fail("Error initializing ASPI.", caption);
    }
}

void AtapiDevice::UnloadAspi() {
    if (aspiModule_ != 0) {
        os_->FreeLibrary(aspiModule_);
    }
    aspiModule_ = 0;
    supportInfo_ = 0;
    sendCommand_ = 0;
}

void AtapiDevice::CopyStateTo(AtapiDevice* job) const {
    if (job == nullptr || job == this) {
        return;
    }
    // The job never inherits the master's handle or current drive: each handle has one owner.
    job->CloseDrive();
    job->timeoutSeconds = timeoutSeconds;
    job->observer_ = observer_;
    job->useAspi_ = useAspi_;
    job->aspiAvailable_ = aspiAvailable_;
    job->driveCount_ = driveCount_;
    job->identity_ = identity_;
    std::memcpy(job->drives_, drives_, sizeof(drives_));
}

DriveEntry* AtapiDevice::GetEntry(unsigned index) {
    if (index >= driveCount_ || index >= static_cast<unsigned>(kMaxDrives) ||
        !drives_[index].present) {
        return nullptr;
    }
    return &drives_[index];
}

const DriveEntry* AtapiDevice::GetEntry(unsigned index) const {
    return const_cast<AtapiDevice*>(this)->GetEntry(index);
}

uint8_t AtapiDevice::IsPresent(int16_t index) const {
    if (index < 0 || index >= kMaxDrives) {
        return 0;
    }
    return drives_[index].present;
}

OpenResult AtapiDevice::OpenDrive(const char* root) {
    // "\\.\" and the root's name: "D:" of "D:\", or a whole device name such as "sr0".
    char path[4 + sizeof(DriveEntry::root)] = {'\\', '\\', '.', '\\'};
    for (std::size_t i = 0; i + 1 < sizeof(DriveEntry::root) && root[i] != '\0' && root[i] != '\\';
         ++i) {
        path[4 + i] = root[i];
    }
    return os_->CreateFile(path);
}

bool AtapiDevice::SelectDrive(int16_t index) {
    // Only a drive that really is current counts as already selected (not "none" or "failed").
    if (index == currentIndex_ && IsPresent(index)) {
        return true;
    }
    if (!IsPresent(index)) {
        return false;
    }
    if (driveHandle_ != kInvalidHandle) {
        CloseDrive();
    }
    const DriveEntry& slot = drives_[index];
    useAspi_ = slot.viaAspi;
    currentIndex_ = index;
    adapter_ = slot.adapter;
    target_ = slot.target;
    lun_ = slot.lun;
    pathId_ = slot.pathId;
    std::memcpy(identity_.vendorId, slot.vendorId, sizeof(identity_.vendorId));
    std::memcpy(identity_.productId, slot.productId, sizeof(identity_.productId));
    std::memcpy(identity_.revision, slot.revision, sizeof(identity_.revision));
    std::memcpy(identity_.vendorSpecific, slot.vendorSpecific, sizeof(identity_.vendorSpecific));

    if (platform.isNtFamily && !useAspi_) {
        const OpenResult opened = OpenDrive(slot.root);
        if (opened.handle == kInvalidHandle) {
            lastOsError = opened.error;
            currentIndex_ = kFailedSelection;
            adapter_ = target_ = lun_ = pathId_ = -1;
            driveHandle_ = kInvalidHandle;
            return false;
        }
        driveHandle_ = opened.handle;
    }
    return true;
}

void AtapiDevice::CloseDrive() {
    if (driveHandle_ != kInvalidHandle) {
        os_->CloseHandle(driveHandle_);
    }
    adapter_ = target_ = lun_ = pathId_ = -1;
    driveHandle_ = kInvalidHandle;
    currentIndex_ = kNoCurrentDrive;
}

} // namespace zelfin
