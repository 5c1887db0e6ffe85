#pragma once
// The device object: transport (pass-through or ASPI), the list of found optical drives, the
// current drive, two data buffers, the outcome of the last command and the command set.
// One object is used by one thread at a time; several objects may run on different threads.
#include "device/CommandObserver.h"
#include "device/CommandResult.h"
#include "device/Commands.h"
#include "device/DriveEntry.h"
#include "device/HiTimer.h"
#include "device/OSInfo.h"
#include "device/Platform.h"
#include "device/WinScsiTypes.h"

#include <cstdint>

namespace zelfin {

inline constexpr uint32_t kBufferCapacity = 65536;
inline constexpr uint32_t kDefaultTimeoutSeconds = 108000;
inline constexpr int16_t kNoCurrentDrive = 127;
inline constexpr int16_t kFailedSelection = -1;
// The application tag that asks for ASPI on the NT family.
inline constexpr uint16_t kPreferAspiTag = 32767;
// Room for the ASPI manager's full path (MAX_PATH).
inline constexpr uint32_t kMaxAspiPath = 260;

struct CurrentIdentity {
    char vendorId[9];
    char productId[17];
    char revision[5];
    char vendorSpecific[17];
};

class AtapiDevice {
public:
    // observer, when set, hears of every command from the scan on; CopyStateTo hands it on.
    AtapiDevice(Platform& os, bool scan, uint16_t applicationTag = 0,
                CommandObserver* observer = nullptr);
    ~AtapiDevice();
    AtapiDevice(const AtapiDevice&) = delete;
    AtapiDevice& operator=(const AtapiDevice&) = delete;

    // Gives a job object the master's list, transport choice, time-out and command observer.
    // The job gets no current drive and no handle: its own SelectDrive opens a handle it owns.
    void CopyStateTo(AtapiDevice* job) const;

    // Drive list.
    void ScanDrives();
    uint16_t GetDriveCount() const { return driveCount_; }
    DriveEntry* GetEntry(unsigned index);
    const DriveEntry* GetEntry(unsigned index) const;
    uint8_t IsPresent(int16_t index) const;
    int16_t GetCurrentIndex() const { return currentIndex_; }
    bool SelectDrive(int16_t index);
    void CloseDrive();
    // Up to `attempts` INQUIRY commands; the slot keeps its identity when none succeeds.
    bool RefreshIdentity(int attempts = kIdentityAttempts);
    void SetTimeout(uint32_t seconds) { timeoutSeconds = seconds; }

    // Sends one 12-byte command to the current drive. direction: kDirectionOut (writeBuffer),
    // kDirectionIn (readBuffer) or kDirectionNone.
    bool ExecuteCommand(const uint8_t cdb[12], uint8_t direction, uint32_t length);
    bool ExecuteCommand(const Cdb& cdb, uint8_t direction, uint32_t length) {
        return ExecuteCommand(cdb.data(), direction, length);
    }
    bool SenseIs(uint8_t key, uint8_t asc) const { return senseKey == key && senseAsc == asc; }
    bool SenseKeyIs(uint8_t key) const { return senseKey == key; }
    bool LastCommandRefused() const { return lastResult_.outcome == CommandOutcome::NotSent; }
    // How the last command ended, refused ones included.
    const CommandResult& LastResult() const { return lastResult_; }

    // The command set.
    bool TestUnitReady();
    bool Inquiry(uint8_t cmddt, uint8_t evpd, uint8_t page, uint8_t allocation, uint8_t control);
    bool StartStopUnit(uint8_t immed, uint8_t power, uint8_t loej, uint8_t start);
    bool GetEventStatus(uint8_t polled, uint8_t classes, uint16_t allocation, uint8_t control);
    bool ReadBuffer(uint32_t offset, uint32_t length);
    // Codes 0x80 and 0xA0 (commit) have no data phase whatever length says.
    bool WriteBuffer(uint32_t offset, uint32_t length, uint8_t code);
    // Succeeds only with a non-zero 128-byte answer in readBuffer.
    bool ReadFlashId();
    bool DownloadBegin();
    // Sends the first `length` bytes of writeBuffer followed by their 16-bit sum (low byte
    // first), which it writes into writeBuffer[length] and [length + 1].
    bool DownloadPiece(uint32_t offset, uint32_t length);
    bool DownloadEnd(uint32_t total);

    // Drive state.
    void ClearUnitAttention();
    bool WaitReady(int32_t limitSeconds);
    bool IsDiscAbsent();
    bool IsTrayOpen();
    bool LoadTray();
    bool EjectTray();
    bool StopDisc();

    // Read-only views of the object's state.
    bool UsesAspi() const { return useAspi_ != 0; }
    bool IsAspiAvailable() const { return aspiAvailable_ != 0; }
    bool HasAspiEntryPoints() const { return supportInfo_ != 0 && sendCommand_ != 0; }
    bool IsAspiLoaded() const { return aspiModule_ != 0; }
    int16_t Adapter() const { return adapter_; }
    int16_t Target() const { return target_; }
    int16_t Lun() const { return lun_; }
    int16_t PathId() const { return pathId_; }
    OsHandle DriveHandle() const { return driveHandle_; }
    const CurrentIdentity& Identity() const { return identity_; }
    // The platform, for the waits of the flash layer (sleep, clock, message pump).
    Platform& GetPlatform() const { return *os_; }

    HiTimer generalWatch;
    HiTimer commandWatch;
    uint32_t timeoutSeconds = kDefaultTimeoutSeconds;
    uint8_t* readBuffer = nullptr;
    uint8_t* writeBuffer = nullptr;
    uint32_t readCapacity = 0;
    uint32_t writeCapacity = 0;
    OSInfo platform;
    uint32_t lastOsError = 0; // of the last drive open that failed; never cleared

    // The last command that reached the transport, as LastResult() judged it (a refused command
    // leaves them as they were).
    uint8_t resultCode = 0; // 1 success, 2 device error with sense in time, 0 transport/time-out
    uint8_t senseKey = 0;
    uint8_t senseAsc = 0;
    uint8_t senseAscq = 0;
    double elapsedSeconds = 0.0;
    uint32_t transferred = 0; // of a successful command only
    uint8_t timedOut = 0;
    uint8_t lastCdb[12] = {};

    uint8_t jobFailed = 0; // 42: the job's flash run failed
    // First verification mismatch of a flash run, NUL-terminated; empty when none.
    char mismatchDiagnostic[64] = {};

private:
    // The ASPI manager from the program's folder, else from the system folder; 0 when neither.
    OsModule LoadAspiLibrary();
    bool ProbeAspi();
    bool LoadAspi();
    void UnloadAspi();
    bool Refuse(const uint8_t cdb[12], uint8_t direction, uint32_t length, Refusal reason);
    // Sets the public result fields from lastResult_ and tells the observer; true when good.
    bool Finish(const uint8_t cdb[12], uint8_t direction, uint32_t length);
    // Times and judges lastResult_, which the transport has filled.
    void JudgeLastResult(bool refusedBelow, bool waitRanOut);
    uint8_t* BufferFor(uint8_t direction, uint32_t length) const;
    // Zeroes the first bytes of readBuffer, so a short answer leaves no earlier command's data
    // to be read as its own.
    void ClearReadBuffer(uint32_t bytes);
    void ExecutePassThrough(const uint8_t cdb[12], uint8_t direction, uint32_t length);
    void ExecuteAspi(const uint8_t cdb[12], uint8_t direction, uint32_t length);
    bool RetireAspiRequest(OsHandle event);
    void ScanPassThrough();
    void ScanAspi();
    bool QueryScsiAddress(const char* root, int16_t& port, int16_t& path, int16_t& target,
                          int16_t& lun);
    void QueryStorageDescriptor(const char* root, uint8_t* descriptor);
    int16_t CountCdromLetters();
    void SortDrives();
    bool ReadIdentity();
    void CopyIdentityToSlot(DriveEntry& slot) const;
    OpenResult OpenDrive(const char* root);

    Platform* os_;
    CommandObserver* observer_; // its own, or the master's
    CommandResult lastResult_{};
    PassThroughBlock passThrough_{};
    SrbExecScsiCmd srb_{};
    ProcAddress supportInfo_ = 0;
    ProcAddress sendCommand_ = 0;
    uint16_t driveCount_ = 0;
    OsModule aspiModule_ = 0;
    int16_t currentIndex_ = kNoCurrentDrive;
    CurrentIdentity identity_{};
    DriveEntry drives_[kMaxDrives]{};
    int16_t adapter_ = -1;
    int16_t target_ = -1;
    int16_t lun_ = -1;
    int16_t pathId_ = -1;
    OsHandle driveHandle_ = kInvalidHandle;
    uint8_t useAspi_ = 0;
    uint8_t aspiAvailable_ = 0;
    uint8_t aspiAbandoned_ = 0;
};

} // namespace zelfin
