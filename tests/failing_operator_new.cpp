#include <cstdlib>
#include <new>

#include "tests/failing_allocator.h"

void* operator new(std::size_t size) {
    for (;;) {
        if (!failing_allocator::exhausted()) {
            if (void* memory = std::malloc(size == 0 ? 1 : size)) {
                return memory;
            }
        }
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) {
            throw std::bad_alloc();
        }
        handler();
    }
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t /*size*/) noexcept { std::free(memory); }
