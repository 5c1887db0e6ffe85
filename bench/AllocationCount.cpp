#include "AllocationCount.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Process-wide by nature: operator new has no object to hang them on.
std::atomic<bool> counting{false};
std::atomic<uint64_t> allocations{0};

void* Allocate(std::size_t bytes) {
    if (counting.load(std::memory_order_relaxed)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* block = std::malloc(bytes == 0 ? 1 : bytes)) {
        return block;
    }
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t bytes) {
    return Allocate(bytes);
}
void* operator new[](std::size_t bytes) {
    return Allocate(bytes);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

namespace zelfin::bench {

void StartCountingAllocations() {
    allocations.store(0);
    counting.store(true);
}

uint64_t StopCountingAllocations() {
    counting.store(false);
    return allocations.load();
}

} // namespace zelfin::bench
