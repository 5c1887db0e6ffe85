#include "sim/SimDrive.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace zelfin::sim {

namespace {

constexpr uint8_t kOpTestUnitReady = 0x00;
constexpr uint8_t kOpRequestSense = 0x03;
constexpr uint8_t kOpInquiry = 0x12;
constexpr uint8_t kOpStartStopUnit = 0x1B;
constexpr uint8_t kOpWriteBuffer = 0x3B;
constexpr uint8_t kOpReadBuffer = 0x3C;
constexpr uint8_t kOpGetEventStatus = 0x4A;
constexpr uint8_t kOpReadFlashId = 0xDF;
constexpr uint8_t kOpDownload = 0xF2;
constexpr std::size_t kInquiryDataLength = 96;
constexpr Sense kOperationInProgress{0x02, 0x04, 0x07};
// Refusing a command costs the drive a little time, so a host polling a drive that is not
// ready moves the clock on.
constexpr double kRefusalSeconds = 0.001;
// A drive that does not answer fails the request when the bus gives up selecting it.
constexpr double kSelectionTimeoutSeconds = 0.25;

template <std::size_t N> void PadInto(std::array<char, N>& out, const std::string& text) {
    if (text.size() > N) {
        throw std::invalid_argument("identity text longer than its field: " + text);
    }
    out.fill(' ');
    std::memcpy(out.data(), text.data(), text.size());
}

// Copies an answer into the host buffer: as much as the command allows and the host has room
// for. Returns the bytes moved.
uint32_t DeliverIn(const Request& request, const uint8_t* answer, std::size_t answerLength,
                   std::size_t allocation) {
    if (request.data == nullptr || request.direction != 1) {
        return 0;
    }
    const std::size_t n = std::min({answerLength, allocation, std::size_t{request.length}});
    std::memcpy(request.data, answer, n);
    return static_cast<uint32_t>(n);
}

} // namespace

Reply FlashModel::HandleCommand(SimDrive&, const Request&) {
    return Reply::Check(kInvalidOpcode);
}
bool FlashModel::RevisionOverride(char*) const {
    return false;
}
void FlashModel::OnPowerOnReset(SimDrive&) {
}

SimDrive::SimDrive(std::string name) : name_(std::move(name)) {
    SetIdentity("BRYMOTE", "DVDRW RVM-270A", "1.00");
    vendorSpecific_.fill(' ');
    flash_ = std::make_unique<FlashModel>();
}

SimDrive::~SimDrive() = default;

void SimDrive::SetIdentity(const std::string& vendor, const std::string& product,
                           const std::string& revision) {
    sync::Lock lock(mutex_);
    PadInto(vendor_, vendor);
    PadInto(product_, product);
    PadInto(revision_, revision);
}

void SimDrive::SetVendorSpecific(const std::string& text) {
    sync::Lock lock(mutex_);
    PadInto(vendorSpecific_, text);
}

void SimDrive::SetPeripheralType(uint8_t type) {
    sync::Lock lock(mutex_);
    peripheralType_ = type;
}

void SimDrive::SetVendorCommands(bool supported) {
    sync::Lock lock(mutex_);
    vendorCommands_ = supported;
}

void SimDrive::SetFlashIdAnswer(const std::array<uint8_t, 128>& answer) {
    sync::Lock lock(mutex_);
    flashAnswer_ = answer;
}

void SimDrive::SetFlashId(uint8_t maker, uint8_t device, uint8_t id2, uint8_t variant) {
    sync::Lock lock(mutex_);
    flashAnswer_.fill(0);
    flashAnswer_[0] = maker;
    flashAnswer_[1] = device;
    flashAnswer_[2] = id2;
    flashAnswer_[3] = variant;
}

void SimDrive::SetTrayOpen(bool open) {
    sync::Lock lock(mutex_);
    trayOpen_ = open;
}

void SimDrive::SetMediaEvents(bool supported) {
    sync::Lock lock(mutex_);
    mediaEvents_ = supported;
}

void SimDrive::SetDisc(Disc disc) {
    sync::Lock lock(mutex_);
    disc_ = disc;
}

void SimDrive::SetBecomingReady(uint32_t answers, uint8_t ascq) {
    sync::Lock lock(mutex_);
    becomingReady_ = answers;
    becomingReadyAscq_ = ascq;
}

void SimDrive::QueueUnitAttention(Sense sense) {
    sync::Lock lock(mutex_);
    unitAttention_.push_back(sense);
}

void SimDrive::PowerOnReset() {
    sync::Lock lock(mutex_);
    unitAttention_.clear();
    unitAttention_.push_back(restart_.attention);
    flash_->OnPowerOnReset(*this);
}

void SimDrive::SetRestartBehaviour(const RestartBehaviour& behaviour) {
    sync::Lock lock(mutex_);
    restart_ = behaviour;
}

RestartBehaviour SimDrive::GetRestartBehaviour() const {
    sync::Lock lock(mutex_);
    return restart_;
}

void SimDrive::SetDescriptorSense(bool descriptor) {
    sync::Lock lock(mutex_);
    descriptorSense_ = descriptor;
}

void SimDrive::SetClock(std::function<double()> now) {
    sync::Lock lock(mutex_);
    clock_ = std::move(now);
}

void SimDrive::Vanish() {
    sync::Lock lock(mutex_);
    vanished_ = true;
}

void SimDrive::SetLoadReadyAnswers(uint32_t answers) {
    sync::Lock lock(mutex_);
    loadReadyAnswers_ = answers;
}

void SimDrive::SetCommandSeconds(double seconds) {
    sync::Lock lock(mutex_);
    defaultSeconds_ = seconds;
}

void SimDrive::SetCommandSeconds(uint8_t opcode, double seconds) {
    sync::Lock lock(mutex_);
    opcodeSeconds_[opcode] = seconds;
    hasOpcodeSeconds_[opcode] = true;
}

void SimDrive::InjectFault(const Fault& fault) {
    sync::Lock lock(mutex_);
    const uint32_t at = fault.occurrence == 0 ? 0 : opcodeCounts_[fault.opcode] + fault.occurrence;
    faults_.push_back(ArmedFault{fault, at});
}

void SimDrive::ClearFaults() {
    sync::Lock lock(mutex_);
    faults_.clear();
}

void SimDrive::SetFlashModel(std::unique_ptr<FlashModel> model) {
    sync::Lock lock(mutex_);
    flash_ = model ? std::move(model) : std::make_unique<FlashModel>();
}

FlashModel* SimDrive::GetFlashModel() const {
    sync::Lock lock(mutex_);
    return flash_.get();
}

void SimDrive::SetTranscriptSink(std::function<void(const std::string&)> sink) {
    sync::Lock lock(mutex_);
    sink_ = std::move(sink);
}

std::vector<TranscriptRecord> SimDrive::Transcript() const {
    sync::Lock lock(mutex_);
    return transcript_;
}

std::size_t SimDrive::TranscriptSize() const {
    sync::Lock lock(mutex_);
    return transcript_.size();
}

void SimDrive::ClearTranscript() {
    sync::Lock lock(mutex_);
    transcript_.clear();
}

uint32_t SimDrive::CommandCount(uint8_t opcode) const {
    sync::Lock lock(mutex_);
    return opcodeCounts_[opcode];
}

bool SimDrive::TrayOpen() const {
    sync::Lock lock(mutex_);
    return trayOpen_;
}

Disc SimDrive::DiscState() const {
    sync::Lock lock(mutex_);
    return disc_;
}

bool SimDrive::Vanished() const {
    sync::Lock lock(mutex_);
    return vanished_;
}

std::string SimDrive::Revision() const {
    sync::Lock lock(mutex_);
    char revision[4];
    if (flash_->RevisionOverride(revision)) {
        return std::string(revision, 4);
    }
    return std::string(revision_.data(), 4);
}

const Fault* SimDrive::MatchFault(uint8_t opcode, uint32_t count) const {
    for (const ArmedFault& armed : faults_) {
        if (armed.fault.opcode == opcode && (armed.atCount == 0 || armed.atCount == count)) {
            return &armed.fault;
        }
    }
    return nullptr;
}

double SimDrive::CostOf(uint8_t opcode) const {
    return hasOpcodeSeconds_[opcode] ? opcodeSeconds_[opcode] : defaultSeconds_;
}

double SimDrive::Now() const {
    return clock_ ? clock_() : ownSeconds_;
}

bool SimDrive::Unanswered(double now, Reply& reply) {
    if (restartAt_ > 0.0 && now >= restartAt_) {
        const double at = restartAt_;
        restartAt_ = 0.0;
        Restarted(at);
        if (vanished_) {
            reply = Reply::Transport();
            return true;
        }
    }
    if (restartAt_ > 0.0) {
        reply = Reply::Check(kOperationInProgress);
        reply.seconds = kRefusalSeconds;
        return true;
    }
    if (now < silentUntil_) {
        reply = Reply::Transport();
        reply.seconds = kSelectionTimeoutSeconds;
        return true;
    }
    if (now < notReadyUntil_) {
        reply = Reply::Check(kBecomingReady);
        reply.seconds = kRefusalSeconds;
        return true;
    }
    timed_ = false;
    return false;
}

void SimDrive::Restarted(double at) {
    PowerOnReset();
    switch (restart_.after) {
    case RestartBehaviour::After::Ready:
        break;
    case RestartBehaviour::After::Gone:
        vanished_ = true;
        break;
    case RestartBehaviour::After::NotReady:
        notReadyUntil_ = at + restart_.seconds;
        timed_ = true;
        break;
    case RestartBehaviour::After::Silent:
        silentUntil_ = at + restart_.seconds;
        timed_ = true;
        break;
    }
}

void SimDrive::RestartAfter(Reply& reply, double now) {
    reply.restart = false;
    if (restart_.background < 0.0) {
        Restarted(now + reply.seconds);
        return;
    }
    // The drive answers before it programs: whatever programming brings shows only later.
    reply = Reply::Good();
    reply.seconds = kRefusalSeconds;
    restartAt_ = std::max(now + restart_.background, 1e-9);
    timed_ = true;
}

Reply SimDrive::Execute(const Request& request) {
    sync::Lock lock(mutex_);
    const uint8_t opcode = request.cdb[0];
    const uint32_t count = ++opcodeCounts_[opcode];
    Reply reply;
    double seconds = CostOf(opcode);
    if (vanished_) {
        reply = Reply::Transport();
    } else if (timed_ && Unanswered(Now(), reply)) {
        // reply says it
    } else if (const Fault* matched = MatchFault(opcode, count)) {
        // A copy: the flash model may arm faults of its own while it answers, moving the list.
        const Fault fault_ = *matched;
        const Fault* fault = &fault_;
        switch (fault->kind) {
        case Fault::Kind::Sense:
            reply = Reply::Check(fault->sense);
            break;
        case Fault::Kind::StatusOnly:
            reply = Reply::Check(kNoSense);
            break;
        case Fault::Kind::Status:
            reply = Reply::Check(kNoSense);
            reply.status = fault->status;
            break;
        case Fault::Kind::Transport:
            reply = Reply::Transport();
            break;
        case Fault::Kind::Slow:
            reply = Dispatch(request);
            seconds = fault->seconds;
            break;
        case Fault::Kind::Hang:
            reply = Reply{};
            reply.outcome = Outcome::Pending;
            reply.neverCompletes = true;
            break;
        case Fault::Kind::Vanish:
            vanished_ = true;
            reply = Reply::Transport();
            break;
        case Fault::Kind::ZeroData:
            reply = Dispatch(request);
            if (request.data != nullptr && request.direction == 1) {
                std::memset(request.data, 0, reply.transferred);
            }
            break;
        }
    } else {
        reply = Dispatch(request);
    }
    if (reply.restart) {
        RestartAfter(reply, Now());
    }
    reply.seconds += seconds;
    reply.descriptorSense = descriptorSense_;
    ownSeconds_ += reply.seconds;
    Record(request, reply);
    return reply;
}

void SimDrive::AmendLastRecord(Outcome outcome) {
    sync::Lock lock(mutex_);
    if (!transcript_.empty()) {
        transcript_.back().outcome = outcome;
    }
}

void SimDrive::Record(const Request& request, const Reply& reply) {
    TranscriptRecord record;
    record.cdb = request.cdb;
    record.direction = request.direction;
    record.length = request.length;
    record.senseKey = reply.sense.key;
    record.senseAsc = reply.sense.asc;
    record.senseAscq = reply.sense.ascq;
    record.outcome = reply.outcome;
    record.transferred = reply.transferred;
    record.seconds = reply.seconds;
    transcript_.push_back(record);
    if (sink_) {
        sink_(FormatTranscriptLine(record));
    }
}

bool SimDrive::ReportsUnitAttention(uint8_t opcode) const {
    // As MMC drives do: INQUIRY, REQUEST SENSE and GET EVENT STATUS NOTIFICATION never report it.
    return opcode != kOpInquiry && opcode != kOpRequestSense && opcode != kOpGetEventStatus;
}

Reply SimDrive::Dispatch(const Request& request) {
    const uint8_t opcode = request.cdb[0];
    if (!unitAttention_.empty() && ReportsUnitAttention(opcode)) {
        const Sense sense = unitAttention_.front();
        unitAttention_.erase(unitAttention_.begin());
        return Reply::Check(sense);
    }
    switch (opcode) {
    case kOpTestUnitReady:
        return TestUnitReady();
    case kOpInquiry:
        return Inquiry(request);
    case kOpStartStopUnit:
        return StartStopUnit(request);
    case kOpGetEventStatus:
        return GetEventStatus(request);
    case kOpReadFlashId:
        return vendorCommands_ ? ReadFlashId(request) : Reply::Check(kInvalidOpcode);
    case kOpWriteBuffer:
    case kOpReadBuffer:
    case kOpDownload:
        return vendorCommands_ ? flash_->HandleCommand(*this, request)
                               : Reply::Check(kInvalidOpcode);
    default:
        return Reply::Check(kInvalidOpcode);
    }
}

Reply SimDrive::MediaState() {
    if (trayOpen_) {
        return Reply::Check(kNoMediumTrayOpen);
    }
    if (disc_ == Disc::Absent) {
        return Reply::Check(kNoMediumTrayClosed);
    }
    return Reply::Good();
}

Reply SimDrive::TestUnitReady() {
    if (becomingReady_ > 0) {
        if (becomingReady_ != UINT32_MAX) {
            --becomingReady_;
        }
        return Reply::Check(Sense{0x02, 0x04, becomingReadyAscq_});
    }
    return MediaState();
}

Reply SimDrive::Inquiry(const Request& request) {
    if ((request.cdb[1] & 0x03) != 0) {
        return Reply::Check(kInvalidFieldInCdb); // only standard data is offered
    }
    uint8_t data[kInquiryDataLength] = {};
    data[0] = peripheralType_;
    data[1] = 0x80; // removable
    data[3] = 0x02; // response data format
    data[4] = static_cast<uint8_t>(kInquiryDataLength - 5);
    std::memcpy(data + 8, vendor_.data(), 8);
    std::memcpy(data + 16, product_.data(), 16);
    char revision[4];
    if (flash_->RevisionOverride(revision)) {
        std::memcpy(data + 32, revision, 4);
    } else {
        std::memcpy(data + 32, revision_.data(), 4);
    }
    std::memcpy(data + 36, vendorSpecific_.data(), vendorSpecific_.size());
    return Reply::Good(DeliverIn(request, data, sizeof(data), request.cdb[4]));
}

Reply SimDrive::StartStopUnit(const Request& request) {
    const bool loej = (request.cdb[4] & 0x02) != 0;
    const bool start = (request.cdb[4] & 0x01) != 0;
    if (loej && start) {
        trayOpen_ = false;
        if (disc_ != Disc::Absent) {
            becomingReady_ = loadReadyAnswers_;
        }
        return Reply::Good();
    }
    if (loej) {
        if (disc_ == Disc::Locked) {
            return Reply::Check(kRemovalPrevented);
        }
        trayOpen_ = true;
        return Reply::Good();
    }
    if (start) {
        return MediaState();
    }
    return Reply::Good(); // stop: spins the disc down, if any
}

Reply SimDrive::GetEventStatus(const Request& request) {
    if ((request.cdb[1] & 0x01) == 0) {
        return Reply::Check(kInvalidFieldInCdb); // asynchronous notification is not offered
    }
    const uint32_t allocation = (uint32_t{request.cdb[7]} << 8) | request.cdb[8];
    uint8_t data[8] = {};
    std::size_t size = 4;
    data[3] = mediaEvents_ ? 0x10 : 0x00; // supported classes: media, or none
    if (mediaEvents_ && (request.cdb[4] & 0x10) != 0) {
        data[1] = 0x06;
        data[2] = 0x04; // media class
        data[4] = 0x00; // no change
        const bool present = disc_ != Disc::Absent && !trayOpen_;
        data[5] = static_cast<uint8_t>((trayOpen_ ? 0x01 : 0x00) | (present ? 0x02 : 0x00));
        size = 8;
    } else {
        data[1] = 0x02;
        data[2] = 0x80; // no event available
    }
    return Reply::Good(DeliverIn(request, data, size, allocation));
}

Reply SimDrive::ReadFlashId(const Request& request) {
    if (request.cdb[1] != 0x11) {
        return Reply::Check(kInvalidFieldInCdb);
    }
    return Reply::Good(DeliverIn(request, flashAnswer_.data(), flashAnswer_.size(), 128));
}

} // namespace zelfin::sim
