// The library and its host share one C++ runtime here: the ordinary throwing
// operator new, its new-handler and std::bad_alloc serve both.
#include "plugin/object_memory.h"

#include <new>

void* allocateObjectMemory(std::size_t size) { return ::operator new(size); }

void freeObjectMemory(void* memory) noexcept { ::operator delete(memory); }
