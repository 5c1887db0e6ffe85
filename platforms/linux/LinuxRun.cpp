// The guards of a run that belong to the machine beyond the drive holds: logind's inhibitor
// lock against shutdown, sleep and idle. A machine without it still runs the update.
#include "platforms/linux/LinuxPlatform.h"
#include "platforms/linux/LogindInhibitor.h"

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

void LinuxPlatform::BeginRun() {
    if (inhibitor_ >= 0) {
        return;
    }
    const InhibitOutcome outcome =
        TakeInhibitorLock(kSystemBusSocket, kRunInhibit, kInhibitTimeoutMs);
    inhibitor_ = outcome.fd;
    SayNoLock(outcome);
}

void LinuxPlatform::EndRun() {
    if (inhibitor_ >= 0) {
        ::close(inhibitor_);
        inhibitor_ = -1;
    }
}

LinuxPlatform::~LinuxPlatform() {
    EndRun();
}

} // namespace zelfin::linuxos
