#pragma once

#include <cstddef>

// Memory for plug-in objects, from the library's own heap.
//
// allocateObjectMemory never returns null. While the heap is exhausted it
// calls the library's new-handler, as operator new does; when none is
// installed it raises the out-of-memory exception a host can catch:
//  - Linux: std::bad_alloc of the C++ runtime the library shares with its host;
//  - Windows: std::bad_alloc as a Visual C++ runtime raises it (see
//    msvc_bad_alloc.h), since a host built with Visual C++ cannot catch an
//    exception of the GCC runtime linked into this library.
void* allocateObjectMemory(std::size_t size);

// Gives memory from allocateObjectMemory back to the same heap; null does
// nothing.
void freeObjectMemory(void* memory) noexcept;
