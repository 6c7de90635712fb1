#include <cstddef>

#include "tests/failing_allocator.h"

// Every call of malloc in the program comes here (-Wl,--wrap=malloc).
extern "C" void* __real_malloc(std::size_t size);
extern "C" void* __wrap_malloc(std::size_t size) {
    return failing_allocator::exhausted() ? nullptr : __real_malloc(size);
}
