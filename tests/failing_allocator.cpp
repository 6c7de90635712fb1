#include "tests/failing_allocator.h"

#include <atomic>

namespace {

std::atomic<bool> exhaustedHeap{false};

}  // namespace

namespace failing_allocator {

void setExhausted(bool exhausted) { exhaustedHeap.store(exhausted); }
bool exhausted() { return exhaustedHeap.load(); }

}  // namespace failing_allocator
