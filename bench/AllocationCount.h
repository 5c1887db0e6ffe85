#pragma once
// Counts heap allocations made through operator new while counting is on (any thread). The
// replaced global operator new lives in this benchmark executable only.

#include <cstdint>

namespace zelfin::bench {

void StartCountingAllocations();
// Stops counting and returns how many allocations were made since the start.
uint64_t StopCountingAllocations();

} // namespace zelfin::bench
