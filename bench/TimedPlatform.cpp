#include "TimedPlatform.h"

#include <algorithm>

namespace zelfin::bench {

double TimedPlatform::CalibrateNanosecondsPerCall() {
    // The best of a few rounds: the machine may be busy with other work meanwhile.
    constexpr int kCalls = 100000;
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        std::atomic<int64_t> inside{0};
        for (int i = 0; i < kCalls; ++i) {
            const auto start = std::chrono::steady_clock::now();
            const auto end = std::chrono::steady_clock::now();
            inside.fetch_add(
                std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count());
        }
        best = std::min(best, static_cast<double>(inside.load()) / kCalls);
    }
    return best;
}

} // namespace zelfin::bench
