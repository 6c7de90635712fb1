#pragma once

// A program that links failing_allocator.cpp replaces the global allocation
// functions with ones that follow the standard's contract (try; call the
// new-handler while one is installed; throw std::bad_alloc when none is) and
// that can be told to find no memory at all.
namespace failing_allocator {

void setExhausted(bool exhausted);

}  // namespace failing_allocator
