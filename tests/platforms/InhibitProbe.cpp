// Takes the run's inhibitor lock from the bus at argv[1] and says what came of it; a lock is
// held until standard input ends, then closed. Driven by logind-inhibit.sh.
#include "platforms/linux/LogindInhibitor.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    using zelfin::linuxos::InhibitResult;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SOCKET\n", argv[0]);
        return 2;
    }
    const auto outcome = zelfin::linuxos::TakeInhibitorLock(argv[1], zelfin::linuxos::kRunInhibit,
                                                            zelfin::linuxos::kInhibitTimeoutMs);
    if (outcome.result != InhibitResult::Locked) {
        const char* names[] = {"locked", "no bus", "refused", "no answer", "bad answer"};
        std::printf("no lock: %s %s\n", names[static_cast<int>(outcome.result)], outcome.errorName);
        return 0;
    }
    std::printf("locked\n");
    std::fflush(stdout);
    char ignored[64];
    while (::read(STDIN_FILENO, ignored, sizeof ignored) > 0) {
    }
    ::close(outcome.fd);
    std::printf("closed\n");
    return 0;
}
