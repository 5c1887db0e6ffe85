#pragma once
// A simulated optical drive: decodes the CDB bytes it receives as an MMC drive would and answers
// with data, status and sense. Vendor commands of the supported model (WRITE BUFFER, READ
// BUFFER, F2 download) go to a pluggable FlashModel. Thread-safe: one lock per drive.
#include "device/WinScsiTypes.h"
#include "sim/Transcript.h"

#include "sync/Sync.h"
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zelfin::sim {

struct Sense {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    friend bool operator==(const Sense&, const Sense&) = default;
};

inline constexpr Sense kNoSense{};
inline constexpr Sense kBecomingReady{0x02, 0x04, 0x01};
inline constexpr Sense kPowerOnReset{0x06, 0x29, 0x00};
inline constexpr Sense kMediumChanged{0x06, 0x28, 0x00};
inline constexpr Sense kNoMediumTrayClosed{0x02, 0x3A, 0x01};
inline constexpr Sense kNoMediumTrayOpen{0x02, 0x3A, 0x02};
inline constexpr Sense kInvalidOpcode{0x05, 0x20, 0x00};
inline constexpr Sense kInvalidFieldInCdb{0x05, 0x24, 0x00};
inline constexpr Sense kRemovalPrevented{0x05, 0x53, 0x02};

// One command as it reaches the drive.
struct Request {
    std::array<uint8_t, 12> cdb{};
    uint8_t direction = 2;   // as the host declared it: 0 out, 1 in, 2 none
    uint32_t length = 0;     // host transfer length
    uint8_t* data = nullptr; // host buffer of `length` bytes, null when there is no data phase
};

struct Reply {
    Outcome outcome = Outcome::Good;
    Sense sense{};
    uint8_t status = kScsiStatusCheckCondition; // the status of a CheckCondition outcome
    uint32_t transferred = 0;
    double seconds = 0.0;         // how long the drive took; the machine turns it into clock time
    bool neverCompletes = false;  // the drive holds the command for good
    bool restart = false;         // from a flash model: the drive restarts after this command
    bool descriptorSense = false; // sense goes to the host in descriptor format (72h)

    static Reply Good(uint32_t bytes = 0) {
        Reply r;
        r.transferred = bytes;
        return r;
    }
    static Reply Check(Sense s) {
        Reply r;
        r.outcome = Outcome::CheckCondition;
        r.sense = s;
        return r;
    }
    static Reply Transport() {
        Reply r;
        r.outcome = Outcome::TransportFailure;
        return r;
    }
};

class SimDrive;

// The drive's firmware store and its vendor download commands. The default rejects them all.
class FlashModel {
public:
    virtual ~FlashModel() = default;
    // Opcodes 3B, 3C and F2 on a drive of the supported model. Runs under the drive's lock;
    // the drive's own operations may be called (the lock is recursive).
    virtual Reply HandleCommand(SimDrive& drive, const Request& request);
    // The revision INQUIRY reports instead of the configured one (after a committed image);
    // false to keep the configured identity.
    virtual bool RevisionOverride(char revision[4]) const;
    // Called by SimDrive::PowerOnReset, and so on every restart.
    virtual void OnPowerOnReset(SimDrive& drive);
};

enum class Disc : uint8_t { Absent, Present, Locked }; // Locked: present, eject is refused

// An injected fault: the `occurrence`-th command with `opcode` (1 = the next one; 0 = every
// one from now on) does this instead of its normal answer.
struct Fault {
    enum class Kind : uint8_t {
        Sense,      // CHECK CONDITION with `sense`
        StatusOnly, // CHECK CONDITION with no sense data (sense key 0)
        Transport,  // the request fails below the drive
        Slow,       // normal answer, but it takes `seconds`
        Hang,       // never completes
        Vanish,     // the drive is gone from this command on
        ZeroData,   // data-in answer of all zeros (normal status)
        Status,     // the status `status` (BUSY, RESERVATION CONFLICT, ...) with no sense data
    };
    uint8_t opcode = 0;
    uint32_t occurrence = 1;
    Kind kind = Kind::Sense;
    Sense sense{};
    double seconds = 0.0;
    uint8_t status = 0;
};

// How the drive comes back from a restart its flash model asks for (after a commit or a
// download end). Seconds are those of the drive's clock (SetClock).
struct RestartBehaviour {
    enum class After : uint8_t {
        Ready,    // answers at once
        Gone,     // never answers again
        NotReady, // NOT READY 02/04/01 to every command for `seconds`
        Silent,   // no answer at all (a transport failure) for `seconds`
    };
    After after = After::Ready;
    double seconds = 0.0;
    // >= 0: the commit is answered GOOD at once and the drive restarts this much later,
    // answering NOT READY 02/04/07 to every command until then.
    double background = -1.0;
    Sense attention = kPowerOnReset; // the unit attention a restart queues
};

class SimDrive {
public:
    explicit SimDrive(std::string name = "drive");
    ~SimDrive();
    SimDrive(const SimDrive&) = delete;
    SimDrive& operator=(const SimDrive&) = delete;

    const std::string& Name() const { return name_; }

    // Identity: strings are padded with spaces to 8, 16 and 4 characters (longer is an error).
    void SetIdentity(const std::string& vendor, const std::string& product,
                     const std::string& revision);
    void SetVendorSpecific(const std::string& text); // up to 20 characters, space padded
    void SetPeripheralType(uint8_t type);
    // false: a drive of another model that rejects the vendor commands (DF, F2, 3B/3C).
    void SetVendorCommands(bool supported);
    void SetFlashIdAnswer(const std::array<uint8_t, 128>& answer);
    void SetFlashId(uint8_t maker, uint8_t device, uint8_t id2, uint8_t variant);

    // Mechanism.
    void SetTrayOpen(bool open);
    void SetDisc(Disc disc);
    // false: an older drive without the media event class; GET EVENT STATUS NOTIFICATION then
    // answers with the 4-byte header alone ("no event available").
    void SetMediaEvents(bool supported);
    // The next `answers` media commands answer NOT READY 04/ascq (UINT32_MAX: forever).
    void SetBecomingReady(uint32_t answers, uint8_t ascq = 0x01);
    // Queues a unit attention, reported once by the next command that reports them.
    void QueueUnitAttention(Sense sense = kPowerOnReset);
    // Resets the drive as after power-on: the pending unit attention is the restart behaviour's
    // (06/29/00 unless set otherwise).
    void PowerOnReset();
    void SetRestartBehaviour(const RestartBehaviour& behaviour);
    RestartBehaviour GetRestartBehaviour() const;
    // Sense data in descriptor format (72h) rather than fixed format (70h).
    void SetDescriptorSense(bool descriptor);
    // The drive's notion of now, in seconds; the machine gives its own clock. Without one the
    // drive counts the time its own answers took. Read only while a timed state is pending.
    void SetClock(std::function<double()> now);
    // The drive is gone: every command from now on fails below it.
    void Vanish();
    // Becoming-ready answers a tray load with a disc produces.
    void SetLoadReadyAnswers(uint32_t answers);

    // Time the drive takes: for every command, or for one opcode (overrides the default).
    void SetCommandSeconds(double seconds);
    void SetCommandSeconds(uint8_t opcode, double seconds);

    void InjectFault(const Fault& fault);
    void ClearFaults();

    void SetFlashModel(std::unique_ptr<FlashModel> model);
    FlashModel* GetFlashModel() const;

    // Every command received is appended to the record; a sink, when set, gets its line too.
    void SetTranscriptSink(std::function<void(const std::string&)> sink);
    std::vector<TranscriptRecord> Transcript() const;
    std::size_t TranscriptSize() const;
    void ClearTranscript();
    // Commands received with `opcode` so far.
    uint32_t CommandCount(uint8_t opcode) const;

    bool TrayOpen() const;
    Disc DiscState() const;
    bool Vanished() const;
    std::string Revision() const; // as INQUIRY reports it now (4 characters)

    // The drive's side of one command: called by the machine's transports.
    Reply Execute(const Request& request);
    // Records an outcome the machine decided (a request that stayed pending, then was aborted).
    void AmendLastRecord(Outcome outcome);

private:
    Reply Dispatch(const Request& request);
    Reply TestUnitReady();
    Reply Inquiry(const Request& request);
    Reply StartStopUnit(const Request& request);
    Reply GetEventStatus(const Request& request);
    Reply ReadFlashId(const Request& request);
    bool ReportsUnitAttention(uint8_t opcode) const;
    Reply MediaState();
    double CostOf(uint8_t opcode) const;
    struct ArmedFault {
        Fault fault;
        uint32_t atCount; // 0: every command with the opcode
    };
    const Fault* MatchFault(uint8_t opcode, uint32_t count) const;
    void Record(const Request& request, const Reply& reply);
    double Now() const;
    // Takes a restart that falls due by `now`, and says what answers instead of the firmware.
    bool Unanswered(double now, Reply& reply);
    void Restarted(double at);
    void RestartAfter(Reply& reply, double now);

    std::string name_;
    mutable sync::RecursiveMutex mutex_;
    std::array<char, 8> vendor_{};
    std::array<char, 16> product_{};
    std::array<char, 4> revision_{};
    std::array<char, 20> vendorSpecific_{};
    uint8_t peripheralType_ = 0x05;
    bool vendorCommands_ = true;
    std::array<uint8_t, 128> flashAnswer_{};
    bool trayOpen_ = false;
    bool mediaEvents_ = true;
    Disc disc_ = Disc::Absent;
    uint32_t becomingReady_ = 0;
    uint8_t becomingReadyAscq_ = 0x01;
    uint32_t loadReadyAnswers_ = 0;
    std::vector<Sense> unitAttention_;
    double defaultSeconds_ = 0.0;
    std::array<double, 256> opcodeSeconds_{};
    std::array<bool, 256> hasOpcodeSeconds_{};
    std::array<uint32_t, 256> opcodeCounts_{};
    std::vector<ArmedFault> faults_;
    bool vanished_ = false;
    bool descriptorSense_ = false;
    RestartBehaviour restart_{};
    // Timed states, on the drive's clock; `timed_` says whether any is pending.
    bool timed_ = false;
    double restartAt_ = 0.0; // a background commit restarts then (when > 0)
    double notReadyUntil_ = 0.0;
    double silentUntil_ = 0.0;
    double ownSeconds_ = 0.0; // time the drive's own answers took, the clock when none is given
    std::function<double()> clock_;
    std::unique_ptr<FlashModel> flash_;
    std::vector<TranscriptRecord> transcript_;
    std::function<void(const std::string&)> sink_;
};

} // namespace zelfin::sim
