#include "CampaignRun.h"

#include "app/Texts.h"
#include "app/Zelfin.h"
#include "flash/LoaderArea.h"
#include "package/PackageBlock.h"
#include "package/PackageSeal.h"
#include "sim/SimFlash.h"
#include "sim/SimMachine.h"
#include "tools/ComposeBlock.h"
#include "tools/TestPackage.h"
#include "ui/RecordingToolkit.h"
#include "ui/ZelfinWindows.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace zelfin::campaign {
namespace {

constexpr sim::FlashId kChip{0xBF, 0xD7, 0x00, 0x03};

// The shipped package, ending the program after the result (no reboot prompt, no notice), with
// a bank the download way when asked for.
std::unique_ptr<PackageBlock> makePackage(Job job) {
    pack::PackageDescription d = testpackage::shippedDescription();
    d.settings["REBOOT"] = "0";
    d.settings["CLOSEAP"] = "1";
    d.settings["WARNING"] = "0";
    if (job == Job::Download) {
        d.banks.front().size = 0x20000;
    }
    auto block = std::make_unique<PackageBlock>();
    pack::Problems problems;
    if (!pack::composeBlock(d, *block, problems)) {
        throw std::logic_error("campaign package refused: " + problems.errors.front());
    }
    return block;
}

const std::vector<std::uint8_t>& newImage() {
    static const std::vector<std::uint8_t> image =
        testpackage::makeImage(testpackage::kBootRevision, testpackage::kNewRevision);
    return image;
}

class Machine {
public:
    Machine() {
        addSupported(kTarget, testpackage::kOldRevision, 0);
        sim::SimDrive& other = machine_.NewDrive(std::string(1, kOtherModel));
        other.SetIdentity("OTHER", "DVD-ROM X16", "2.10");
        other.SetVendorCommands(false);
        machine_.AddOpticalLetter(kOtherModel, other, {0, 0, 1, 0});
        watch(other);
        // A revision between the boot code's and the package's slots: no slot takes it.
        addSupported(kUnmatched, "1900", 2);
    }

    sim::SimMachine& machine() { return machine_; }
    sim::SimDrive& drive(char letter) {
        for (sim::SimDrive* d : drives_) {
            if (d->Name().front() == letter) {
                return *d;
            }
        }
        throw std::logic_error(std::string("no drive ") + letter);
    }
    sim::SimFlash& targetFlash() {
        return *dynamic_cast<sim::SimFlash*>(drive(kTarget).GetFlashModel());
    }

    std::size_t logSize() {
        std::lock_guard lock(mutex_);
        return order_.size();
    }
    // This run's commands in the order the drives received them, each drive's own record
    // supplying the details (with the outcome of a request that was later abandoned).
    std::vector<Command> takeLog() {
        std::vector<char> order;
        {
            std::lock_guard lock(mutex_);
            order.swap(order_);
        }
        std::map<char, std::vector<sim::TranscriptRecord>> records;
        for (sim::SimDrive* d : drives_) {
            records[d->Name().front()] = d->Transcript();
        }
        std::vector<Command> log;
        log.reserve(order.size());
        for (char letter : order) {
            log.push_back(Command{letter, records.at(letter).at(taken_[letter]++)});
        }
        return log;
    }

private:
    void addSupported(char letter, std::string_view revision, uint8_t target) {
        sim::SimDrive& drive = machine_.NewDrive(std::string(1, letter));
        sim::SimFlash::Install(drive, kChip,
                               testpackage::makeImage(testpackage::kBootRevision, revision));
        machine_.AddOpticalLetter(letter, drive, {0, 0, target, 0});
        watch(drive);
    }

    void watch(sim::SimDrive& drive) {
        drives_.push_back(&drive);
        const char letter = drive.Name().front();
        drive.SetTranscriptSink([this, letter](const std::string&) {
            std::lock_guard lock(mutex_);
            order_.push_back(letter);
        });
    }

    sim::SimMachine machine_;
    std::vector<sim::SimDrive*> drives_;
    std::mutex mutex_;
    std::vector<char> order_;           // the drive of each command, in the order received
    std::map<char, std::size_t> taken_; // records of each drive already in an earlier run's log
};

uint32_t bufferOffset(const sim::TranscriptRecord& r) {
    return (uint32_t{r.cdb[3]} << 16) | (uint32_t{r.cdb[4]} << 8) | r.cdb[5];
}

// Arms the fault on the drive that gets command `at` of the fault-free run, as the n-th command
// with that opcode to that drive.
void arm(Machine& m, const Injection& injection, const std::vector<Command>& clean) {
    if (injection.kind == Injection::Kind::None) {
        return;
    }
    if (injection.kind == Injection::Kind::PowerLoss) {
        m.targetFlash().Faults().powerLossAtSector = injection.sector;
        return;
    }
    const Command& hit = clean.at(injection.at);
    const uint8_t opcode = hit.record.cdb[0];
    uint32_t occurrence = 0;
    uint32_t pass = 0; // times this piece was read back, this one included
    for (std::size_t i = 0; i <= injection.at; ++i) {
        const Command& c = clean[i];
        occurrence += c.drive == hit.drive && c.record.cdb[0] == opcode ? 1 : 0;
        pass += c.drive == hit.drive && c.record.cdb[0] == 0x3C &&
                        bufferOffset(c.record) == bufferOffset(hit.record)
                    ? 1
                    : 0;
    }
    if (injection.kind == Injection::Kind::ReadBack) {
        const uint32_t piece = bufferOffset(hit.record) / sim::kSimSectorSize;
        m.targetFlash().Faults().readBackDiffers.push_back({piece, pass, 1234});
        return;
    }
    sim::Fault fault;
    fault.opcode = opcode;
    fault.occurrence = occurrence;
    fault.sense = injection.sense;
    fault.kind = injection.kind == Injection::Kind::Sense       ? sim::Fault::Kind::Sense
                 : injection.kind == Injection::Kind::NoSense   ? sim::Fault::Kind::StatusOnly
                 : injection.kind == Injection::Kind::Transport ? sim::Fault::Kind::Transport
                 : injection.kind == Injection::Kind::Timeout   ? sim::Fault::Kind::Hang
                                                                : sim::Fault::Kind::Vanish;
    m.drive(hit.drive).InjectFault(fault);
}

// Runs the program to its end: Update is clicked when the window first waits for the user; if
// it is disabled, or the window waits again after the run, the user closes the program.
RunResult runProgram(Machine& m, const PackageBlock& package, const PackageSeal& seal) {
    RunResult result;
    ui::RecordingToolkit kit;
    // The machine's clock is virtual: a worker that posts nothing for this long is stuck.
    kit.setStallLimit(std::chrono::seconds(20));
    bool idleWithoutUpdate = false;
    const auto windowIdle = [&](std::string_view button) {
        return kit.hasWindow("ZelfinMain") && kit.state(button, "ZelfinMain").enabled;
    };
    kit.whenIdle([&] {
        if (windowIdle("cmdUpdate")) {
            result.clickedAt = m.logSize();
            kit.click(ui::idOf(ui::MainControl::cmdUpdate));
        } else {
            idleWithoutUpdate = true;
            kit.terminate();
        }
    });
    // Then the run's tasks are handled as the worker posts them, until the window waits for the
    // user again (who closes it) or the program has ended by itself.
    bool ended = true;
    kit.whenIdle([&] {
        ended = kit.runUntil([&] { return kit.terminated() || windowIdle("cmdClose"); },
                             std::chrono::seconds(20));
        kit.terminate();
    });
    const double startedAt = m.machine().NowSeconds();
    app::runZelfin(kit, m.machine(), package, seal);
    result.virtualSeconds = m.machine().NowSeconds() - startedAt;

    result.dialogs = kit.dialogs().size();
    result.lastDialog = kit.dialogs().empty() ? "" : kit.dialogs().back().text;
    const bool stalled = std::find(kit.log().begin(), kit.log().end(),
                                   "stalled: nothing pending") != kit.log().end();
    if (stalled || !ended) {
        result.ending = Ending::Stalled;
    } else if (result.lastDialog == app::text::kUpdated && result.clickedAt) {
        result.ending = Ending::Success;
    } else if (result.lastDialog == app::text::kFlashFailed && result.clickedAt) {
        result.ending = Ending::Failure;
    } else if (!result.clickedAt && !result.lastDialog.empty()) {
        result.ending = Ending::StartUpMessage;
    } else if (idleWithoutUpdate) {
        result.ending = Ending::IdleNoUpdate;
    } else {
        result.ending = Ending::Stalled;
    }
    const auto flash = m.targetFlash().Contents();
    result.flashHoldsNewImage =
        std::equal(flash.begin(), flash.end(), newImage().begin(), newImage().end());
    result.targetRevision = m.drive(kTarget).Revision();
    result.targetDead = m.targetFlash().Running() == sim::SimFirmware::Dead;
    result.log = m.takeLog();
    return result;
}

} // namespace

RunResult runOnce(Job job, const Injection& injection, const std::vector<Command>& clean,
                  RunResult* second) {
    static const std::unique_ptr<PackageBlock> packages[] = {makePackage(Job::WriteBuffer),
                                                             makePackage(Job::Download)};
    static const PackageSeal seals[] = {makeSeal(*packages[0], kLoaderArea),
                                        makeSeal(*packages[1], kLoaderArea)};
    const int which = job == Job::WriteBuffer ? 0 : 1;
    const PackageBlock& package = *packages[which];
    Machine m;
    arm(m, injection, clean);
    RunResult first = runProgram(m, package, seals[which]);
    if (second != nullptr) {
        *second = runProgram(m, package, seals[which]);
    }
    return first;
}

const char* kindName(Injection::Kind kind) {
    switch (kind) {
    case Injection::Kind::None:
        return "none";
    case Injection::Kind::Sense:
        return "check condition";
    case Injection::Kind::NoSense:
        return "check condition without sense";
    case Injection::Kind::Transport:
        return "transport failure";
    case Injection::Kind::Timeout:
        return "time-out";
    case Injection::Kind::Vanish:
        return "drive vanishes";
    case Injection::Kind::ReadBack:
        return "read-back corrupted";
    case Injection::Kind::PowerLoss:
        return "power lost in commit";
    }
    return "?";
}

const char* endingName(Ending ending) {
    switch (ending) {
    case Ending::Success:
        return "success";
    case Ending::Failure:
        return "failure";
    case Ending::StartUpMessage:
        return "start-up message";
    case Ending::IdleNoUpdate:
        return "idle, nothing to update";
    case Ending::Stalled:
        return "stalled";
    }
    return "?";
}

} // namespace zelfin::campaign
