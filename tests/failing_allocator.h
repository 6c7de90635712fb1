#pragma once

// A program that links the failing allocator can tell the heap to find no
// memory at all, while the allocation functions keep their contract:
//  - failing_operator_new.cpp replaces the global operator new (try; call
//    the new-handler while one is installed; throw std::bad_alloc when none
//    is);
//  - failing_malloc_windows.cpp wraps malloc (link with -Wl,--wrap=malloc),
//    which the Windows plug-in allocates with.
namespace failing_allocator {

void setExhausted(bool exhausted);
bool exhausted();

}  // namespace failing_allocator
