// The library's heap is its C runtime's (msvcrt) malloc. Out of memory is
// reported the way a Visual C++ host understands; nothing of GCC's exception
// runtime is linked into the DLL.
#include <cstdlib>
#include <new>

#include "plugin/msvc_bad_alloc.h"
#include "plugin/object_memory.h"

void* allocateObjectMemory(std::size_t size) {
    for (;;) {
        if (void* memory = std::malloc(size == 0 ? 1 : size)) {
            return memory;
        }
        // What operator new does between attempts: the new-handler may free
        // memory, remove itself, or end the program.
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) {
            raiseMsvcBadAlloc();
        }
        handler();
    }
}

void freeObjectMemory(void* memory) noexcept { std::free(memory); }
