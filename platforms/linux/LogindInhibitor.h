#pragma once
// Holds off shutdown, sleep and idle through logind: an inhibitor lock asked for on the system
// bus by a client of our own, so the programs link no D-Bus library. Only an answer from the
// peer that owns logind's name, as the bus says, is taken. The lock is a descriptor; closing it
// lets go.

#include "platforms/linux/DbusWire.h"

#include <string_view>

namespace zelfin::linuxos {

inline constexpr const char* kSystemBusSocket = "/run/dbus/system_bus_socket";
// The whole exchange, connect to answer: a bus that is slower than this is not waited for.
inline constexpr int kInhibitTimeoutMs = 1500;

struct InhibitRequest {
    std::string_view what;
    std::string_view who;
    std::string_view why;
    std::string_view mode;
};

inline constexpr InhibitRequest kRunInhibit{"shutdown:sleep:idle", "zelfin",
                                            "Updating the firmware of an optical drive", "block"};

enum class InhibitResult {
    Locked,
    NoBus,     // nothing listens at the socket
    Refused,   // the bus or logind answered with an error
    NoAnswer,  // no answer within the time-out
    BadAnswer, // an answer this side cannot read, or the bus hung up
};

struct InhibitOutcome {
    InhibitResult result = InhibitResult::NoBus;
    int fd = -1;                          // the lock, when Locked
    char errorName[dbus::kMaxName + 1]{}; // the error's name, when Refused
};

// Asks logind, through the bus listening at socketPath, for the lock; blocks at most timeoutMs.
InhibitOutcome TakeInhibitorLock(const char* socketPath, const InhibitRequest& request,
                                 int timeoutMs);

} // namespace zelfin::linuxos
