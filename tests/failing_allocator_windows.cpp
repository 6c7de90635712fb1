#include <atomic>
#include <cstddef>

#include "tests/failing_allocator.h"

namespace {

std::atomic<bool> exhaustedHeap{false};

}  // namespace

namespace failing_allocator {

void setExhausted(bool exhausted) { exhaustedHeap.store(exhausted); }

}  // namespace failing_allocator

// Every call of malloc in the program comes here (-Wl,--wrap=malloc).
extern "C" void* __real_malloc(std::size_t size);
extern "C" void* __wrap_malloc(std::size_t size) { return exhaustedHeap.load() ? nullptr : __real_malloc(size); }
