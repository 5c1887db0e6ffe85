#include "platforms/linux/StopSignals.h"

#include <atomic>
#include <csignal>

namespace zelfin::linuxos {
namespace {

constexpr int kHeld[] = {SIGINT, SIGTERM, SIGHUP};

// A signal handler reaches only what is static: the one run of the process, and the
// dispositions to put back after it.
std::atomic<int> heldSignal{0};
struct sigaction before[sizeof kHeld / sizeof kHeld[0]];
struct sigaction pipeBefore;
bool holding = false;

// The program's message line tells the user; the handler only takes note.
void OnStopRequest(int signal) {
    heldSignal = signal;
}

} // namespace

void HoldStopSignals() {
    if (holding) {
        return;
    }
    heldSignal = 0;
    struct sigaction hold {};
    hold.sa_handler = OnStopRequest;
    sigemptyset(&hold.sa_mask);
    hold.sa_flags = SA_RESTART; // reads and writes go on as if nothing had come
    for (std::size_t i = 0; i < sizeof kHeld / sizeof kHeld[0]; ++i) {
        sigaction(kHeld[i], &hold, &before[i]);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &pipeBefore);
    holding = true;
}

bool StopSignalHeld() {
    return heldSignal.load() != 0;
}

void ReleaseStopSignals() {
    if (!holding) {
        return;
    }
    for (std::size_t i = 0; i < sizeof kHeld / sizeof kHeld[0]; ++i) {
        sigaction(kHeld[i], &before[i], nullptr);
    }
    sigaction(SIGPIPE, &pipeBefore, nullptr);
    holding = false;
}

} // namespace zelfin::linuxos
