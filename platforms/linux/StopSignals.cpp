#include "platforms/linux/StopSignals.h"

#include <atomic>
#include <csignal>
#include <cstddef>
#include <iterator>

namespace zelfin::linuxos {
namespace {

constexpr int kEnds[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
// Ignored rather than caught: a caught SIGTTIN or SIGTTOU makes the terminal read or write that
// raised it start again, and raise it again.
constexpr int kIgnored[] = {SIGPIPE, SIGTTIN, SIGTTOU};
constexpr std::size_t kEndCount = std::size(kEnds);
constexpr std::size_t kIgnoredCount = std::size(kIgnored);

// A signal handler reaches only what is static: the one run of the process, and the
// dispositions to put back after it.
std::atomic<int> heldSignal{0};
std::atomic<bool> suspendHeld{false};
struct sigaction endsBefore[kEndCount];
struct sigaction ignoredBefore[kIgnoredCount];
struct sigaction suspendBefore;
bool holding = false;

// The program's message line tells the user; the handlers only take note.
void OnStopRequest(int signal) {
    heldSignal = signal;
}

void OnSuspendRequest(int) {
    suspendHeld = true;
}

// A signal the process was started to ignore (a background job of a script ignores SIGINT and
// SIGQUIT) stays ignored: it was never a request.
void Install(int signal, void (*handler)(int), struct sigaction& before) {
    sigaction(signal, nullptr, &before);
    if (before.sa_handler == SIG_IGN) {
        return;
    }
    struct sigaction now {};
    now.sa_handler = handler;
    sigemptyset(&now.sa_mask);
    now.sa_flags = SA_RESTART; // reads and writes go on as if nothing had come
    sigaction(signal, &now, nullptr);
}

} // namespace

void HoldStopSignals() {
    if (holding) {
        return;
    }
    heldSignal = 0;
    suspendHeld = false;
    for (std::size_t i = 0; i < kEndCount; ++i) {
        Install(kEnds[i], OnStopRequest, endsBefore[i]);
    }
    for (std::size_t i = 0; i < kIgnoredCount; ++i) {
        Install(kIgnored[i], SIG_IGN, ignoredBefore[i]);
    }
    Install(SIGTSTP, OnSuspendRequest, suspendBefore);
    holding = true;
}

bool StopSignalHeld() {
    return heldSignal.load() != 0;
}

void ReleaseStopSignals() {
    if (!holding) {
        return;
    }
    for (std::size_t i = 0; i < kEndCount; ++i) {
        sigaction(kEnds[i], &endsBefore[i], nullptr);
    }
    for (std::size_t i = 0; i < kIgnoredCount; ++i) {
        sigaction(kIgnored[i], &ignoredBefore[i], nullptr);
    }
    sigaction(SIGTSTP, &suspendBefore, nullptr);
    holding = false;
    // The user asked to suspend, not to end: the process does now, with whatever disposition
    // it had before, and goes on when continued. One that is about to end has no need to.
    if (suspendHeld.exchange(false) && !StopSignalHeld()) {
        std::raise(SIGTSTP);
    }
}

} // namespace zelfin::linuxos
