#include "sim/SimMachine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace zelfin::sim {

namespace {

constexpr OsModule kAspiModule = 0x5000;
constexpr ProcAddress kSupportInfoEntry = 0x5001;
constexpr ProcAddress kSendCommandEntry = 0x5002;
constexpr uint8_t kSsAbortFail = 0x03;
constexpr uint8_t kHostSelectionTimeout = 0x11;
constexpr uint32_t kWaitFailed = 0xFFFFFFFF;
constexpr int64_t kNever = INT64_MAX;

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) {
            return false;
        }
    }
    return true;
}

int64_t TicksOf(double seconds) {
    return static_cast<int64_t>(
        std::llround(seconds * static_cast<double>(SimMachine::kFrequency)));
}

int64_t SteadyTicks() {
    using namespace std::chrono;
    return duration_cast<duration<int64_t, std::ratio<1, SimMachine::kFrequency>>>(
               steady_clock::now().time_since_epoch())
        .count();
}

// Sense data as the drive returns it: fixed format (70h), or descriptor format (72h) with no
// descriptors when the drive uses that.
void WriteSense(uint8_t* out, std::size_t room, const Reply& reply) {
    const Sense& sense = reply.sense;
    uint8_t data[18] = {};
    std::size_t size = sizeof(data);
    if (reply.descriptorSense) {
        data[0] = 0x72;
        data[1] = sense.key & 0x0F;
        data[2] = sense.asc;
        data[3] = sense.ascq;
        size = 8;
    } else {
        data[0] = 0x70;
        data[2] = sense.key;
        data[7] = 10;
        data[12] = sense.asc;
        data[13] = sense.ascq;
    }
    std::memcpy(out, data, std::min(room, size));
}

} // namespace

SimMachine::SimMachine(OsFamily family) : family_(family) {
}

SimMachine::~SimMachine() {
    // What the process never freed goes with the process.
    for (auto& [block, size] : heap_) {
        std::free(block);
    }
}

SimDrive& SimMachine::NewDrive(const std::string& name) {
    sync::Lock lock(mutex_);
    drives_.push_back(std::make_unique<SimDrive>(name));
    drives_.back()->SetClock([this] { return NowSeconds(); });
    return *drives_.back();
}

SimMachine::Letter* SimMachine::FindLetter(char letter) {
    for (Letter& l : letters_) {
        if (l.letter == Upper(letter)) {
            return &l;
        }
    }
    return nullptr;
}

const SimMachine::Letter* SimMachine::FindLetter(char letter) const {
    return const_cast<SimMachine*>(this)->FindLetter(letter);
}

void SimMachine::AddLetter(char letter, uint32_t driveType) {
    sync::Lock lock(mutex_);
    if (FindLetter(letter) != nullptr) {
        throw std::invalid_argument("drive letter added twice");
    }
    Letter l;
    l.letter = Upper(letter);
    l.driveType = driveType;
    letters_.push_back(l);
    std::sort(letters_.begin(), letters_.end(),
              [](const Letter& a, const Letter& b) { return a.letter < b.letter; });
}

void SimMachine::AddOpticalLetter(char letter, SimDrive& drive, ScsiPlace place,
                                  AddressQuery query) {
    AddLetter(letter, kDriveCdrom);
    sync::Lock lock(mutex_);
    Letter* l = FindLetter(letter);
    l->drive = &drive;
    l->place = place;
    l->query = query;
}

void SimMachine::SetOpenError(char letter, uint32_t error) {
    sync::Lock lock(mutex_);
    if (Letter* l = FindLetter(letter)) {
        l->openError = error;
    }
}

void SimMachine::SetAddressQuery(char letter, AddressQuery query) {
    sync::Lock lock(mutex_);
    if (Letter* l = FindLetter(letter)) {
        l->query = query;
    }
}

void SimMachine::SetStorageQueryFails(char letter, bool fails) {
    sync::Lock lock(mutex_);
    if (Letter* l = FindLetter(letter)) {
        l->storageFails = fails;
    }
}

void SimMachine::AddAspiDevice(uint8_t adapter, uint8_t target, uint8_t lun, uint8_t deviceType,
                               SimDrive* drive) {
    sync::Lock lock(mutex_);
    aspiDevices_.push_back(AspiDevice{adapter, target, lun, deviceType, drive});
}

// ---- clock ----

void SimMachine::SetClockMode(ClockMode mode) {
    if (mode == ClockMode::Real && clockMode_ != ClockMode::Real) {
        realBase_ = ticks_.load() - SteadyTicks();
    } else if (mode == ClockMode::Virtual && clockMode_ == ClockMode::Real) {
        ticks_ = SteadyTicks() + realBase_;
    }
    clockMode_ = mode;
}

void SimMachine::SetCounterReadCost(double seconds) {
    readCost_ = TicksOf(seconds);
}

int64_t SimMachine::Ticks() {
    if (clockMode_ == ClockMode::Real) {
        return SteadyTicks() + realBase_;
    }
    return ticks_.load();
}

void SimMachine::AdvanceTo(int64_t ticks) {
    int64_t current = ticks_.load();
    while (current < ticks && !ticks_.compare_exchange_weak(current, ticks)) {
    }
}

void SimMachine::Spend(double seconds) {
    if (seconds <= 0) {
        return;
    }
    if (clockMode_ == ClockMode::Real) {
        sync::sleepFor(std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::duration<double>(seconds)));
    } else {
        ticks_.fetch_add(TicksOf(seconds));
    }
}

void SimMachine::AdvanceClock(double seconds) {
    Spend(seconds);
}

double SimMachine::NowSeconds() {
    return static_cast<double>(Ticks()) / static_cast<double>(kFrequency);
}

bool SimMachine::QueryPerformanceFrequency(int64_t& frequency) {
    if (!counterAvailable_) {
        return false;
    }
    frequency = kFrequency;
    return true;
}

int64_t SimMachine::QueryPerformanceCounter() {
    if (!counterAvailable_) {
        return 0;
    }
    int64_t value;
    if (clockMode_ == ClockMode::Real) {
        value = Ticks();
    } else {
        value = ticks_.fetch_add(readCost_.load()); // reading the counter takes a little time
    }
    CompleteDue();
    return value;
}

void SimMachine::Sleep(uint32_t milliseconds) {
    sleeps_.fetch_add(1);
    Spend(milliseconds / 1000.0);
    CompleteDue();
}

// ---- OS queries ----

bool SimMachine::GetVersionEx(OsVersionInfo& info) {
    info.platformId = family_ == OsFamily::NT ? kVerPlatformWin32Nt : kVerPlatformWin32Windows;
    info.majorVersion = family_ == OsFamily::NT ? 5 : 4;
    info.minorVersion = family_ == OsFamily::NT ? 1 : 10;
    info.buildNumber = family_ == OsFamily::NT ? 2600 : 2222;
    return true;
}

uint32_t SimMachine::GetLogicalDriveStrings(uint32_t bufferLength, char* buffer) {
    sync::Lock lock(mutex_);
    if (driveStringsFail_ || letters_.empty()) {
        return 0;
    }
    const uint32_t needed = static_cast<uint32_t>(letters_.size() * 4 + 1);
    if (buffer == nullptr || bufferLength < needed) {
        return needed;
    }
    char* out = buffer;
    for (const Letter& l : letters_) {
        *out++ = l.letter;
        *out++ = ':';
        *out++ = '\\';
        *out++ = '\0';
    }
    *out = '\0';
    return needed - 1;
}

uint32_t SimMachine::GetDriveType(const char* root) {
    sync::Lock lock(mutex_);
    if (root == nullptr || root[0] == '\0') {
        return kDriveNoRootDir;
    }
    const Letter* l = FindLetter(root[0]);
    return l != nullptr ? l->driveType : kDriveNoRootDir;
}

void* SimMachine::HeapAllocZeroed(std::size_t bytes) {
    if (heapFailureSize_ != 0 && bytes == heapFailureSize_) {
        return nullptr;
    }
    void* block = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (block != nullptr) {
        sync::Lock lock(mutex_);
        heap_[block] = bytes;
    }
    return block;
}

void SimMachine::HeapFree(void* block) {
    if (block == nullptr) {
        return;
    }
    sync::Lock lock(mutex_);
    if (heap_.erase(block) == 0) {
        ++badHandleUses_; // not a block of this heap
        return;
    }
    std::free(block);
}

// ---- files and the pass-through driver ----

OpenResult SimMachine::CreateFile(const char* path) {
    sync::Lock lock(mutex_);
    const std::string_view p(path);
    if (p.size() != 6 || p.substr(0, 4) != "\\\\.\\" || p[5] != ':') {
        return OpenResult{kInvalidHandle, kErrorFileNotFound};
    }
    Letter* l = FindLetter(p[4]);
    if (l == nullptr) {
        return OpenResult{kInvalidHandle, kErrorFileNotFound};
    }
    if (l->openError != 0) {
        return OpenResult{kInvalidHandle, l->openError};
    }
    const OsHandle handle = nextHandle_++;
    fileHandles_[handle] = l->letter;
    ++l->opens;
    return OpenResult{handle, 0};
}

bool SimMachine::CloseHandle(OsHandle handle) {
    sync::Lock lock(mutex_);
    if (fileHandles_.erase(handle) != 0 || events_.erase(handle) != 0) {
        return true;
    }
    ++badHandleUses_;
    return false;
}

SimDrive* SimMachine::DriveOfHandle(OsHandle handle, Letter** letter) {
    auto it = fileHandles_.find(handle);
    if (it == fileHandles_.end()) {
        ++badHandleUses_;
        return nullptr;
    }
    Letter* l = FindLetter(it->second);
    if (letter != nullptr) {
        *letter = l;
    }
    return l != nullptr ? l->drive : nullptr;
}

bool SimMachine::ScsiPassThroughDirect(OsHandle handle, PassThroughBlock& block, void* dataBuffer,
                                       uint32_t& lastError) {
    SimDrive* drive = nullptr;
    {
        sync::Lock lock(mutex_);
        Letter* letter = nullptr;
        drive = DriveOfHandle(handle, &letter);
        if (letter == nullptr) {
            lastError = kErrorInvalidHandle;
            return false;
        }
        lastPassThrough_ = block;
    }
    zelfin::ScsiPassThroughDirect& request = block.sptd;
    // The driver checks the request as the OS does before anything reaches the drive.
    const bool wellFormed =
        request.Length == sizeof(zelfin::ScsiPassThroughDirect) && request.CdbLength >= 6 &&
        request.CdbLength <= 16 && request.DataIn <= 2 &&
        uint32_t{request.SenseInfoOffset} + request.SenseInfoLength <= sizeof(PassThroughBlock) &&
        (request.DataTransferLength == 0 || request.DataIn == 2 || dataBuffer != nullptr);
    if (!wellFormed) {
        lastError = kErrorInvalidParameter;
        return false;
    }
    if (const uint32_t refusal = passThroughRefusal_.load(); refusal != kErrorSuccess) {
        lastError = refusal;
        return false;
    }
    if (drive == nullptr) {
        lastError = kErrorDeviceNotConnected;
        return false;
    }
    Request command;
    std::memcpy(command.cdb.data(), request.Cdb, 12);
    command.direction = request.DataIn;
    command.length = request.DataTransferLength;
    command.data = request.DataIn == 2 ? nullptr : static_cast<uint8_t*>(dataBuffer);
    const Reply reply = drive->Execute(command);

    // The port driver's time-out timer ticks once a second: a command is cut off at the first
    // tick after TimeOutValue, so one may finish a little past it.
    const double limit = static_cast<double>(request.TimeOutValue) + 1.0;
    if (reply.neverCompletes || reply.seconds >= limit) {
        Spend(limit);
        request.DataTransferLength = 0;
        lastError = kErrorSemTimeout;
        return false;
    }
    Spend(reply.seconds);
    if (reply.outcome == Outcome::TransportFailure) {
        request.DataTransferLength = 0;
        lastError = kErrorIoDevice;
        return false;
    }
    request.DataTransferLength = reply.transferred;
    if (reply.outcome == Outcome::CheckCondition) {
        request.ScsiStatus = reply.status;
        if (reply.sense != kNoSense) {
            WriteSense(reinterpret_cast<uint8_t*>(&block) + request.SenseInfoOffset,
                       request.SenseInfoLength, reply);
        }
    } else {
        request.ScsiStatus = kScsiStatusGood;
    }
    lastError = kErrorSuccess;
    return true;
}

bool SimMachine::ScsiGetAddress(OsHandle handle, ScsiAddress& address) {
    sync::Lock lock(mutex_);
    Letter* letter = nullptr;
    DriveOfHandle(handle, &letter);
    if (letter == nullptr) {
        return false;
    }
    switch (letter->query) {
    case AddressQuery::Unsupported:
        return false;
    case AddressQuery::LengthZero:
        address.Length = 0;
        return true;
    case AddressQuery::Real:
        address.Length = sizeof(ScsiAddress);
        address.PortNumber = letter->place.port;
        address.PathId = letter->place.path;
        address.TargetId = letter->place.target;
        address.Lun = letter->place.lun;
        return true;
    }
    return false;
}

bool SimMachine::StorageQueryProperty(OsHandle handle, uint8_t* query, uint32_t length) {
    sync::Lock lock(mutex_);
    Letter* letter = nullptr;
    DriveOfHandle(handle, &letter);
    if (letter == nullptr || letter->storageFails || length < 8) {
        return false;
    }
    // The head of a STORAGE_DEVICE_DESCRIPTOR: version, size, type, removable, bus type.
    uint8_t descriptor[40] = {};
    descriptor[0] = 40;
    descriptor[4] = 40;
    descriptor[8] = 0x05;
    descriptor[10] = 1;
    descriptor[28] = 0x02; // ATAPI
    std::memcpy(query, descriptor, std::min<uint32_t>(length, sizeof(descriptor)));
    return true;
}

// ---- the ASPI manager ----

std::string SimMachine::SystemFolder() const {
    return family_ == OsFamily::NT ? "C:\\WINNT\\system32" : "C:\\WINDOWS\\SYSTEM";
}

bool SimMachine::FindsAspi(std::string_view name) const {
    const std::size_t slash = name.rfind('\\');
    const std::string_view file = slash == std::string_view::npos ? name : name.substr(slash + 1);
    if (!EqualsNoCase(file, "WNASPI32") && !EqualsNoCase(file, "WNASPI32.DLL")) {
        return false;
    }
    const std::string_view program(programPath_);
    const std::string_view programFolder = program.substr(0, program.rfind('\\'));
    if (slash == std::string_view::npos) {
        // A bare name: the program's folder, the system folder, then the current directory.
        return aspi_.besideProgram || aspi_.installed || aspi_.inCurrentDirectory;
    }
    const std::string_view folder = name.substr(0, slash);
    return (aspi_.besideProgram && EqualsNoCase(folder, programFolder)) ||
           (aspi_.installed && EqualsNoCase(folder, SystemFolder())) ||
           (aspi_.inCurrentDirectory && EqualsNoCase(folder, kCurrentDirectory));
}

uint32_t SimMachine::GetModuleFileName(char* buffer, uint32_t bufferLength) {
    // As Windows XP does: a path that does not fit is cut short without a NUL.
    const auto length = static_cast<uint32_t>(programPath_.size());
    if (bufferLength == 0) {
        return 0;
    }
    const uint32_t copied = std::min(length, bufferLength);
    std::memcpy(buffer, programPath_.data(), copied);
    if (copied < bufferLength) {
        buffer[copied] = '\0';
    }
    return copied;
}

uint32_t SimMachine::GetSystemDirectory(char* buffer, uint32_t bufferLength) {
    const std::string folder = SystemFolder();
    const auto length = static_cast<uint32_t>(folder.size());
    if (length >= bufferLength) {
        return length + 1;
    }
    std::memcpy(buffer, folder.c_str(), length + 1);
    return length;
}

OsModule SimMachine::LoadLibrary(const char* name) {
    sync::Lock lock(mutex_);
    libraryRequests_.emplace_back(name);
    if (!FindsAspi(name)) {
        return 0;
    }
    ++loadedLibraries_;
    ++libraryLoads_;
    return kAspiModule;
}

ProcAddress SimMachine::GetProcAddress(OsModule module, const char* name) {
    sync::Lock lock(mutex_);
    if (module != kAspiModule || loadedLibraries_ == 0) {
        return 0;
    }
    const std::string_view n(name);
    if (n == "GetASPI32SupportInfo" && aspi_.hasSupportInfo) {
        return kSupportInfoEntry;
    }
    if (n == "SendASPI32Command" && aspi_.hasSendCommand) {
        return kSendCommandEntry;
    }
    return 0;
}

void SimMachine::FreeLibrary(OsModule module) {
    sync::Lock lock(mutex_);
    if (module == kAspiModule && loadedLibraries_ > 0) {
        --loadedLibraries_;
    } else {
        ++badHandleUses_;
    }
}

uint32_t SimMachine::CallGetASPI32SupportInfo(ProcAddress entry) {
    sync::Lock lock(mutex_);
    if (entry != kSupportInfoEntry || loadedLibraries_ == 0 || !aspi_.hasSupportInfo) {
        ++badEntryCalls_;
        return 0;
    }
    int count = aspi_.haCountOverride;
    if (count < 0) {
        count = 0;
        for (const AspiDevice& d : aspiDevices_) {
            count = std::max(count, d.adapter + 1);
        }
    }
    return (uint32_t{aspi_.supportStatus} << 8) | static_cast<uint8_t>(count);
}

uint32_t SimMachine::CallSendASPI32Command(ProcAddress entry, void* srb,
                                           const AspiRequestRefs& refs) {
    {
        sync::Lock lock(mutex_);
        if (entry != kSendCommandEntry || loadedLibraries_ == 0 || !aspi_.hasSendCommand) {
            ++badEntryCalls_;
            return 0;
        }
    }
    auto* header = static_cast<uint8_t*>(srb);
    switch (header[0]) {
    case kScHaInquiry: {
        sync::Lock lock(mutex_);
        auto& inquiry = *static_cast<SrbHaInquiry*>(srb);
        const uint32_t info = [&] {
            int count = aspi_.haCountOverride;
            if (count < 0) {
                count = 0;
                for (const AspiDevice& d : aspiDevices_) {
                    count = std::max(count, d.adapter + 1);
                }
            }
            return static_cast<uint32_t>(count);
        }();
        if (inquiry.SRB_HaId >= info && !(inquiry.SRB_HaId == 0 && info == 0)) {
            inquiry.SRB_Status = kSsInvalidHa;
        } else if (aspi_.failingHaInquiry == inquiry.SRB_HaId) {
            inquiry.SRB_Status = kSsErr;
        } else {
            inquiry.HA_Count = static_cast<uint8_t>(info);
            inquiry.HA_SCSI_ID = 7;
            std::memcpy(inquiry.HA_ManagerId, "ASPI for WIN32  ", 16);
            std::memcpy(inquiry.HA_Identifier, "SIM HOST ADAPTER", 16);
            inquiry.SRB_Status = kSsComp;
        }
        return inquiry.SRB_Status;
    }
    case kScGetDevType: {
        sync::Lock lock(mutex_);
        auto& device = *static_cast<SrbGDevBlock*>(srb);
        device.SRB_Status = kSsNoDevice;
        for (const AspiDevice& d : aspiDevices_) {
            if (d.adapter == device.SRB_HaId && d.target == device.SRB_Target &&
                d.lun == device.SRB_Lun && !(d.drive != nullptr && d.drive->Vanished())) {
                device.SRB_DeviceType = d.deviceType;
                device.SRB_Status = kSsComp;
            }
        }
        return device.SRB_Status;
    }
    case kScExecScsiCmd:
        return ExecScsi(*static_cast<SrbExecScsiCmd*>(srb), refs);
    case kScAbortSrb:
        return Abort(*static_cast<SrbAbort*>(srb), refs);
    default:
        header[1] = kSsInvalidCmd;
        return kSsInvalidCmd;
    }
}

uint32_t SimMachine::ExecScsi(SrbExecScsiCmd& srb, const AspiRequestRefs& refs) {
    SimDrive* drive = nullptr;
    uint8_t refusal = 0;
    {
        sync::Lock lock(mutex_);
        lastExecSrb_ = srb;
        refusal = aspi_.execRefusal;
        for (const AspiDevice& d : aspiDevices_) {
            if (d.adapter == srb.SRB_HaId && d.target == srb.SRB_Target && d.lun == srb.SRB_Lun) {
                drive = d.drive;
            }
        }
    }
    const uint8_t directionFlags = srb.SRB_Flags & (kSrbDirIn | kSrbDirOut);
    const bool wellFormed = srb.SRB_CDBLen >= 6 && srb.SRB_CDBLen <= 16 &&
                            directionFlags != (kSrbDirIn | kSrbDirOut) &&
                            (srb.SRB_BufLen == 0 || directionFlags == 0 || refs.dataBuffer) &&
                            ((srb.SRB_Flags & kSrbEventNotify) == 0 || refs.postEvent != 0);
    if (!wellFormed) {
        srb.SRB_Status = kSsErr;
        return srb.SRB_Status;
    }
    if (refusal != 0) {
        srb.SRB_Status = refusal;
        return srb.SRB_Status;
    }
    if (drive == nullptr) {
        srb.SRB_Status = kSsNoDevice;
        return srb.SRB_Status;
    }
    Request command;
    std::memcpy(command.cdb.data(), srb.CDBByte, 12);
    command.direction = directionFlags == kSrbDirIn ? 1 : directionFlags == kSrbDirOut ? 0 : 2;
    command.length = srb.SRB_BufLen;
    command.data = command.direction == 2 ? nullptr : static_cast<uint8_t*>(refs.dataBuffer);
    const Reply reply = drive->Execute(command);

    sync::Lock lock(mutex_);
    srb.SRB_Status = kSsPending;
    PendingRequest pending{&srb,
                           drive,
                           (srb.SRB_Flags & kSrbEventNotify) != 0 ? refs.postEvent : 0,
                           sync::currentThread(),
                           kNever,
                           reply};
    if (!reply.neverCompletes && !aspi_.requestsStayPending) {
        pending.completesAt = Ticks() + TicksOf(reply.seconds);
    }
    pending_.push_back(pending);
    ++pendingCount_;
    CompleteDueLocked();
    return srb.SRB_Status;
}

void SimMachine::WriteCompletion(PendingRequest& request, uint8_t status) {
    SrbExecScsiCmd& srb = *request.srb;
    const Reply& reply = request.reply;
    if (status == kSsComp) {
        switch (reply.outcome) {
        case Outcome::Good:
            break;
        case Outcome::CheckCondition:
            status = kSsErr;
            srb.SRB_TargStat = reply.status;
            if (reply.sense != kNoSense) {
                WriteSense(srb.SenseArea, std::min<std::size_t>(srb.SRB_SenseLen, kSenseLen + 2),
                           reply);
            }
            break;
        default:
            status = kSsErr;
            srb.SRB_HaStat = kHostSelectionTimeout;
            break;
        }
    }
    srb.SRB_Status = status;
}

void SimMachine::CompleteDue() {
    if (pendingCount_.load() == 0) {
        return;
    }
    sync::Lock lock(mutex_);
    CompleteDueLocked();
}

void SimMachine::CompleteDueLocked() {
    // A request is finished by the thread that issued it, as it looks at the clock or waits:
    // the manager's writes into the request block are then ordered with that thread's reads.
    const int64_t now = Ticks();
    const auto self = sync::currentThread();
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->owner == self && it->completesAt <= now) {
            WriteCompletion(*it, kSsComp);
            if (it->event != 0) {
                auto ev = events_.find(it->event);
                if (ev != events_.end()) {
                    ev->second = true;
                }
            }
            it = pending_.erase(it);
            --pendingCount_;
        } else {
            ++it;
        }
    }
}

uint32_t SimMachine::Abort(SrbAbort& srb, const AspiRequestRefs& refs) {
    sync::Lock lock(mutex_);
    ++aborts_;
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if (it->srb != refs.abortTarget) {
            continue;
        }
        if (aspi_.abortIgnored) {
            srb.SRB_Status = kSsComp; // accepted, but the request stays where it is
            return srb.SRB_Status;
        }
        WriteCompletion(*it, kSsAborted);
        it->drive->AmendLastRecord(Outcome::Aborted);
        if (it->event != 0) {
            auto ev = events_.find(it->event);
            if (ev != events_.end()) {
                ev->second = true;
            }
        }
        pending_.erase(it);
        --pendingCount_;
        srb.SRB_Status = kSsComp;
        return srb.SRB_Status;
    }
    srb.SRB_Status = kSsAbortFail;
    return srb.SRB_Status;
}

OsHandle SimMachine::CreateEvent() {
    sync::Lock lock(mutex_);
    if (eventsFail_) {
        return kNullHandle;
    }
    const OsHandle handle = nextHandle_++;
    events_[handle] = false;
    return handle;
}

uint32_t SimMachine::WaitForSingleObject(OsHandle event, uint32_t milliseconds) {
    sync::Lock lock(mutex_);
    auto signalled = [&]() -> int {
        auto it = events_.find(event);
        return it == events_.end() ? -1 : (it->second ? 1 : 0);
    };
    if (signalled() < 0) {
        ++badHandleUses_;
        return kWaitFailed;
    }
    CompleteDueLocked();
    if (signalled() == 1) {
        return kWaitObject0;
    }
    const int64_t start = Ticks();
    const int64_t deadline =
        milliseconds == kInfinite ? kNever : start + TicksOf(milliseconds / 1000.0);
    int64_t completion = kNever;
    for (const PendingRequest& p : pending_) {
        if (p.event == event && p.owner == sync::currentThread()) {
            completion = std::min(completion, p.completesAt);
        }
    }
    const int64_t wakeAt = std::min(completion, deadline);
    if (wakeAt == kNever) {
        throw std::logic_error("infinite wait on an event nothing will signal");
    }
    if (clockMode_ == ClockMode::Real) {
        lock.unlock();
        sync::sleepFor(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(
                static_cast<double>(wakeAt - start) / static_cast<double>(kFrequency))));
        lock.lock();
    } else {
        AdvanceTo(wakeAt);
    }
    CompleteDueLocked();
    return signalled() == 1 ? kWaitObject0 : kWaitTimeout;
}

// ---- message boxes ----

int SimMachine::MessageBox(const char* text, const char* caption, uint32_t flags) {
    sync::Lock lock(mutex_);
    boxes_.push_back(MessageBoxRecord{text, caption, flags});
    return 1; // IDOK
}

bool SimMachine::CreateThread(ThreadEntry entry, void* argument) {
    if (threadsRefused_.load()) {
        return false;
    }
    return sync::startDetached(entry, argument);
}

// ---- drive holds, runs and the restart ----

SimDrive* SimMachine::DriveNamed(const DriveName& drive) {
    if (drive.root != nullptr && drive.root[0] != '\0') {
        const Letter* l = FindLetter(drive.root[0]);
        return l != nullptr ? l->drive : nullptr;
    }
    for (const AspiDevice& d : aspiDevices_) {
        if (d.adapter == drive.adapter && d.target == drive.target && d.lun == drive.lun) {
            return d.drive;
        }
    }
    return nullptr;
}

void SimMachine::RecordGuard(GuardEvent event, const SimDrive* drive) {
    // Called with mutex_ held; a drive's own lock is never taken before the machine's.
    guards_.push_back(GuardRecord{event, drive, drive != nullptr ? drive->TranscriptSize() : 0});
}

void SimMachine::SetDriveBusy(const SimDrive& drive, bool busy) {
    sync::Lock lock(mutex_);
    std::erase(busyDrives_, &drive);
    if (busy) {
        busyDrives_.push_back(&drive);
    }
}

OpenResult SimMachine::HoldDrive(const DriveName& name, OsHandle driveHandle) {
    sync::Lock lock(mutex_);
    SimDrive* drive = DriveNamed(name);
    if (drive == nullptr ||
        (driveHandle != kInvalidHandle && fileHandles_.count(driveHandle) == 0)) {
        ++badHandleUses_;
        return OpenResult{kInvalidHandle, kErrorFileNotFound};
    }
    bool held = std::find(busyDrives_.begin(), busyDrives_.end(), drive) != busyDrives_.end();
    for (const auto& [handle, heldDrive] : holds_) {
        held = held || heldDrive == drive;
    }
    if (held) {
        RecordGuard(GuardEvent::HoldRefused, drive);
        return OpenResult{kInvalidHandle, kErrorBusy};
    }
    const OsHandle hold = nextHandle_++;
    holds_[hold] = drive;
    RecordGuard(GuardEvent::Hold, drive);
    return OpenResult{hold, 0};
}

void SimMachine::ReleaseDrive(OsHandle hold) {
    sync::Lock lock(mutex_);
    const auto it = holds_.find(hold);
    if (it == holds_.end()) {
        ++badHandleUses_;
        return;
    }
    RecordGuard(GuardEvent::Release, it->second);
    holds_.erase(it);
}

void SimMachine::BeginRun() {
    sync::Lock lock(mutex_);
    if (runUnderWay_) {
        ++badHandleUses_; // runs do not nest
    }
    runUnderWay_ = true;
    stopHeld_ = stopDuringRun_;
    RecordGuard(GuardEvent::BeginRun, nullptr);
}

bool SimMachine::StopHeld() {
    sync::Lock lock(mutex_);
    return runUnderWay_ && stopHeld_;
}

void SimMachine::EndRun() {
    sync::Lock lock(mutex_);
    if (!runUnderWay_) {
        ++badHandleUses_;
    }
    runUnderWay_ = false;
    RecordGuard(GuardEvent::EndRun, nullptr);
}

bool SimMachine::RestartSystem() {
    sync::Lock lock(mutex_);
    ++restarts_;
    RecordGuard(GuardEvent::Restart, nullptr);
    return !restartRefused_;
}

// ---- observation ----

std::vector<GuardRecord> SimMachine::GuardRecords() const {
    sync::Lock lock(mutex_);
    return guards_;
}

int SimMachine::HeldDrives() const {
    sync::Lock lock(mutex_);
    return static_cast<int>(holds_.size());
}

bool SimMachine::RunUnderWay() const {
    sync::Lock lock(mutex_);
    return runUnderWay_;
}

std::vector<MessageBoxRecord> SimMachine::MessageBoxes() const {
    sync::Lock lock(mutex_);
    return boxes_;
}

int SimMachine::OpenHandleCount() const {
    sync::Lock lock(mutex_);
    return static_cast<int>(fileHandles_.size());
}

uint32_t SimMachine::OpenCount(char letter) const {
    sync::Lock lock(mutex_);
    const Letter* l = FindLetter(letter);
    return l != nullptr ? l->opens : 0;
}

uint32_t SimMachine::BadHandleUses() const {
    sync::Lock lock(mutex_);
    return badHandleUses_;
}

uint32_t SimMachine::LibraryLoads() const {
    sync::Lock lock(mutex_);
    return libraryLoads_;
}

std::vector<std::string> SimMachine::LibraryRequests() const {
    sync::Lock lock(mutex_);
    return libraryRequests_;
}

int SimMachine::LoadedLibraries() const {
    sync::Lock lock(mutex_);
    return loadedLibraries_;
}

uint32_t SimMachine::AbortsReceived() const {
    sync::Lock lock(mutex_);
    return aborts_;
}

std::size_t SimMachine::LiveHeapBlocks() const {
    sync::Lock lock(mutex_);
    return heap_.size();
}

uint32_t SimMachine::BadEntryCalls() const {
    sync::Lock lock(mutex_);
    return badEntryCalls_;
}

uint32_t SimMachine::PendingRequests() const {
    sync::Lock lock(mutex_);
    return static_cast<uint32_t>(pending_.size());
}

int SimMachine::RestartRequests() const {
    sync::Lock lock(mutex_);
    return restarts_;
}

PassThroughBlock SimMachine::LastPassThroughBlock() const {
    sync::Lock lock(mutex_);
    return lastPassThrough_;
}

SrbExecScsiCmd SimMachine::LastExecSrb() const {
    sync::Lock lock(mutex_);
    return lastExecSrb_;
}

} // namespace zelfin::sim
