// The guards of a run beyond the drive holds: logind's inhibitor lock against shutdown, sleep
// and idle (a machine without it still runs the update), and the signals that would end or
// suspend this process, held until the run is over.
#include "platforms/linux/LinuxSession.h"
#include "platforms/linux/LogindInhibitor.h"
#include "platforms/linux/StopSignals.h"

#include <cstdio>
#include <unistd.h>

namespace zelfin::linuxos {
namespace {

// One line when a bus is there and the lock was still not had; without a bus, nothing to say.
void SayNoLock(const InhibitOutcome& outcome) {
    const char* why = nullptr;
    switch (outcome.result) {
    case InhibitResult::Refused: // by name, unless the bus refused us before any message
        why = outcome.errorName[0] != '\0' ? outcome.errorName : "the system bus refused us";
        break;
    case InhibitResult::NoAnswer:
        why = "the system bus did not answer in time";
        break;
    case InhibitResult::BadAnswer:
        why = "the system bus's answer could not be read";
        break;
    case InhibitResult::Locked:
    case InhibitResult::NoBus:
        return;
    }
    std::fprintf(stderr, "zelfin: shutdown and sleep are not held off during this update (%s)\n",
                 why);
}

} // namespace

void LinuxSession::BeginRun() {
    if (inhibitor_ < 0) {
        const InhibitOutcome outcome =
            TakeInhibitorLock(kSystemBusSocket, kRunInhibit, kInhibitTimeoutMs);
        inhibitor_ = outcome.fd;
        SayNoLock(outcome);
    }
    HoldStopSignals();
}

bool LinuxSession::StopHeld() {
    return StopSignalHeld();
}

// The lock goes first: a suspend held during the run may stop the process as the signals are
// let go, and it must not hold off shutdown while it waits.
void LinuxSession::EndRun() {
    if (inhibitor_ >= 0) {
        ::close(inhibitor_);
        inhibitor_ = -1;
    }
    ReleaseStopSignals();
}

} // namespace zelfin::linuxos
