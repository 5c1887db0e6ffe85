#pragma once
// A simulated Windows machine behind the platform seam: OS family, drive letters, the
// pass-through driver, an optional ASPI manager, events, a clock (virtual by default: sleeps and
// command times advance it without costing real time) and message boxes; and behind the session
// seam its drive holds, run guards and restart, recorded in order.
// Thread-safe: several device objects may use different drives from different threads.
#include "device/Platform.h"
#include "device/Session.h"
#include "sim/SimDrive.h"

#include "sync/Sync.h"
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelfin::sim {

enum class OsFamily : uint8_t { Windows95, NT };

// What IOCTL_SCSI_GET_ADDRESS does for a letter.
enum class AddressQuery : uint8_t { Real, LengthZero, Unsupported };

struct ScsiPlace {
    uint8_t port = 0; // adapter
    uint8_t path = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
};

struct MessageBoxRecord {
    std::string text;
    std::string caption;
    uint32_t flags = 0;
};

// Where copies of the ASPI manager lie, and how it behaves (every copy alike).
struct AspiConfig {
    bool installed = false;           // in the system folder
    bool besideProgram = false;       // in the program's own folder
    bool inCurrentDirectory = false;  // left in the current directory
    bool hasSupportInfo = true;       // GetASPI32SupportInfo exported
    bool hasSendCommand = true;       // SendASPI32Command exported
    uint8_t supportStatus = 0x01;     // bits 8-15 of GetASPI32SupportInfo (SS_COMP)
    int haCountOverride = -1;         // HA_Count reported; -1: highest adapter in use + 1
    int failingHaInquiry = -1;        // adapter whose SRB_HAInquiry fails, -1 none
    bool requestsStayPending = false; // every SRB_ExecSCSICmd stays pending until aborted
    bool abortIgnored = false;        // SC_ABORT_SRB leaves a pending request pending
    uint8_t execRefusal = 0;          // non-zero: every SRB_ExecSCSICmd is refused with this status
};

enum class ClockMode : uint8_t { Virtual, Real };

// A drive hold, a run's start and end or a restart request, with how many commands the drive
// (for holds) had received by then, so tests can put them in order with the drive's transcript.
enum class GuardEvent : uint8_t { Hold, HoldRefused, Release, BeginRun, EndRun, Restart };
struct GuardRecord {
    GuardEvent event = GuardEvent::BeginRun;
    const SimDrive* drive = nullptr; // none for a run's start and end and the restart
    std::size_t commandsBefore = 0;
};

class SimMachine : public Platform, public Session {
public:
    explicit SimMachine(OsFamily family = OsFamily::NT);
    ~SimMachine() override;

    // Building the machine.
    SimDrive& NewDrive(const std::string& name = "drive");
    // A letter of a non-optical kind (fixed disk, network, ...).
    void AddLetter(char letter, uint32_t driveType);
    // An optical drive letter reached by pass-through.
    void AddOpticalLetter(char letter, SimDrive& drive, ScsiPlace place = {},
                          AddressQuery query = AddressQuery::Real);
    // Opening the letter fails with `error` (0: opens again).
    void SetOpenError(char letter, uint32_t error);
    void SetAddressQuery(char letter, AddressQuery query);
    void SetStorageQueryFails(char letter, bool fails);
    // A device the ASPI manager lists (a drive, or none for another device type).
    void AddAspiDevice(uint8_t adapter, uint8_t target, uint8_t lun, uint8_t deviceType,
                       SimDrive* drive);
    AspiConfig& Aspi() { return aspi_; }
    void SetOsFamily(OsFamily family) { family_ = family; }
    // The program's full path, as GetModuleFileNameA gives it.
    void SetProgramPath(const std::string& path) { programPath_ = path; }
    std::string SystemFolder() const;
    static constexpr const char* kCurrentDirectory = "C:\\DOWNLOADS";
    void SetEventCreationFails(bool fails) { eventsFail_ = fails; }
    // Every pass-through request fails with this error before it reaches a drive, as for a
    // process without the rights to send it (kErrorSuccess: passed on).
    void SetPassThroughRefusal(uint32_t error) { passThroughRefusal_ = error; }
    void SetDriveStringsFail(bool fails) { driveStringsFail_ = fails; }
    // Heap allocations of exactly `bytes` fail (0: none fail).
    void SetHeapFailureSize(std::size_t bytes) { heapFailureSize_ = bytes; }
    // The system refuses a restart (the program may not restart it).
    void SetRestartRefused(bool refused) { restartRefused_ = refused; }
    void SetThreadCreationFails(bool fails) { threadsRefused_ = fails; }
    // Another program (or a mounted file system) has the drive: holding it is refused.
    void SetDriveBusy(const SimDrive& drive, bool busy);
    // A request to end the program (a signal, a console event) arrives during every run.
    void SetStopDuringRun(bool stop) { stopDuringRun_ = stop; }

    // Clock.
    void SetClockMode(ClockMode mode);
    void SetPerformanceCounterAvailable(bool available) { counterAvailable_ = available; }
    // Virtual-clock cost of one counter reading (default 10 microseconds).
    void SetCounterReadCost(double seconds);
    void AdvanceClock(double seconds);
    double NowSeconds();
    static constexpr int64_t kFrequency = 10'000'000;

    // Observation.
    std::vector<MessageBoxRecord> MessageBoxes() const;
    int OpenHandleCount() const;           // file handles open right now
    uint32_t OpenCount(char letter) const; // successful opens of the letter so far
    uint32_t BadHandleUses() const;        // calls with a closed or unknown handle
    uint32_t LibraryLoads() const;
    // Every name LoadLibraryA was asked for, in order, found or not.
    std::vector<std::string> LibraryRequests() const;
    int LoadedLibraries() const; // loads not yet freed
    uint32_t AbortsReceived() const;
    uint32_t BadEntryCalls() const;
    std::size_t LiveHeapBlocks() const; // process heap blocks not yet freed (freed at the end) //
                                        // calls of an entry point that was never handed out
    uint32_t PendingRequests() const;   // ASPI requests not yet completed
    uint32_t SleepCount() const { return sleeps_.load(); } // Sleep calls so far
    int RestartRequests() const;                           // accepted or refused
    std::vector<GuardRecord> GuardRecords() const;
    int HeldDrives() const; // holds not yet released
    bool RunUnderWay() const;
    // The latest request blocks exactly as the caller handed them over.
    PassThroughBlock LastPassThroughBlock() const;
    SrbExecScsiCmd LastExecSrb() const;

    // Platform.
    bool GetVersionEx(OsVersionInfo& info) override;
    uint32_t GetLogicalDriveStrings(uint32_t bufferLength, char* buffer) override;
    uint32_t GetDriveType(const char* root) override;
    void* HeapAllocZeroed(std::size_t bytes) override;
    void HeapFree(void* block) override;
    OpenResult CreateFile(const char* path) override;
    bool CloseHandle(OsHandle handle) override;
    bool ScsiPassThroughDirect(OsHandle drive, PassThroughBlock& block, void* dataBuffer,
                               uint32_t& lastError) override;
    bool ScsiGetAddress(OsHandle drive, ScsiAddress& address) override;
    bool StorageQueryProperty(OsHandle drive, uint8_t* query, uint32_t length) override;
    uint32_t GetModuleFileName(char* buffer, uint32_t bufferLength) override;
    uint32_t GetSystemDirectory(char* buffer, uint32_t bufferLength) override;
    OsModule LoadLibrary(const char* name) override;
    ProcAddress GetProcAddress(OsModule module, const char* name) override;
    void FreeLibrary(OsModule module) override;
    uint32_t CallGetASPI32SupportInfo(ProcAddress entry) override;
    uint32_t CallSendASPI32Command(ProcAddress entry, void* srb,
                                   const AspiRequestRefs& refs) override;
    OsHandle CreateEvent() override;
    uint32_t WaitForSingleObject(OsHandle event, uint32_t milliseconds) override;
    bool QueryPerformanceFrequency(int64_t& frequency) override;
    int64_t QueryPerformanceCounter() override;
    void Sleep(uint32_t milliseconds) override;
    int MessageBox(const char* text, const char* caption, uint32_t flags) override;
    bool CreateThread(ThreadEntry entry, void* argument) override;

    // Session.
    OpenResult HoldDrive(const DriveName& drive, OsHandle driveHandle) override;
    void ReleaseDrive(OsHandle hold) override;
    void BeginRun() override;
    bool StopHeld() override;
    void EndRun() override;
    bool RestartSystem() override;

private:
    struct Letter {
        char letter = 0;
        uint32_t driveType = kDriveUnknown;
        SimDrive* drive = nullptr;
        ScsiPlace place{};
        AddressQuery query = AddressQuery::Real;
        uint32_t openError = 0;
        bool storageFails = false;
        uint32_t opens = 0;
    };
    struct AspiDevice {
        uint8_t adapter, target, lun, deviceType;
        SimDrive* drive;
    };
    struct PendingRequest {
        SrbExecScsiCmd* srb;
        SimDrive* drive;
        OsHandle event;
        sync::ThreadId owner;
        int64_t completesAt; // ticks; INT64_MAX: never
        Reply reply;
    };
    Letter* FindLetter(char letter);
    const Letter* FindLetter(char letter) const;
    void Spend(double seconds);
    int64_t Ticks();
    void AdvanceTo(int64_t ticks);
    void CompleteDueLocked();
    SimDrive* DriveOfHandle(OsHandle handle, Letter** letter);
    SimDrive* DriveNamed(const DriveName& drive);
    void RecordGuard(GuardEvent event, const SimDrive* drive);
    void CompleteDue(); // completes the calling thread's requests whose time has come
    static void WriteCompletion(PendingRequest& request, uint8_t status);
    uint32_t ExecScsi(SrbExecScsiCmd& srb, const AspiRequestRefs& refs);
    uint32_t Abort(SrbAbort& srb, const AspiRequestRefs& refs);

    // Whether LoadLibraryA finds the manager under that name, searching as Windows does.
    bool FindsAspi(std::string_view name) const;

    OsFamily family_;
    AspiConfig aspi_{};
    std::string programPath_ = "C:\\ZELFIN\\ZELFIN.EXE";
    std::vector<std::unique_ptr<SimDrive>> drives_;
    std::vector<Letter> letters_;
    std::vector<AspiDevice> aspiDevices_;
    bool eventsFail_ = false;
    std::atomic<uint32_t> passThroughRefusal_{kErrorSuccess};
    bool driveStringsFail_ = false;
    std::size_t heapFailureSize_ = 0;
    bool restartRefused_ = false;
    bool counterAvailable_ = true;

    mutable sync::Mutex mutex_; // guards everything below
    std::map<OsHandle, char> fileHandles_;
    std::map<OsHandle, bool> events_; // signalled?
    std::vector<PendingRequest> pending_;
    std::vector<MessageBoxRecord> boxes_;
    int restarts_ = 0;
    OsHandle nextHandle_ = 0x100;
    int loadedLibraries_ = 0;
    std::vector<std::string> libraryRequests_;
    uint32_t libraryLoads_ = 0;
    uint32_t badHandleUses_ = 0;
    uint32_t aborts_ = 0;
    uint32_t badEntryCalls_ = 0;
    std::atomic<int> pendingCount_{0};
    std::atomic<uint32_t> sleeps_{0};
    std::atomic<bool> threadsRefused_{false};
    std::map<void*, std::size_t> heap_;
    PassThroughBlock lastPassThrough_{};
    SrbExecScsiCmd lastExecSrb_{};
    std::map<OsHandle, SimDrive*> holds_;
    std::vector<const SimDrive*> busyDrives_;
    std::vector<GuardRecord> guards_;
    bool runUnderWay_ = false;
    bool stopDuringRun_ = false;
    bool stopHeld_ = false;
    std::atomic<int64_t> ticks_{1'000'000'000}; // never 0: a zero start means "stopped"
    std::atomic<int64_t> readCost_{100};
    std::atomic<ClockMode> clockMode_{ClockMode::Virtual};
    int64_t realBase_ = 0;
};

} // namespace zelfin::sim
