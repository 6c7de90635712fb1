// std::bad_alloc in the form a Visual C++ runtime throws and catches it.
//
// A Visual C++ `throw` is RaiseException(0xE06D7363) with four arguments:
// a magic number, the thrown object, its ThrowInfo and the image base that
// the ThrowInfo's 32-bit offsets are relative to. A `catch` matches by the
// decorated type names in the ThrowInfo's catchable types, copies the object
// with the copy function given there if it catches by value, and destroys it
// with the ThrowInfo's destructor when the handler ends. The object carries
// Microsoft's run-time type information, so that typeid and dynamic_cast work
// on it in the catching program too.
//
// The tables need image-relative offsets, which C++ cannot state as
// constants; they are written in assembly with `.rva`. Type descriptors sit
// in writable data, as Visual C++ places them: the catching runtime caches a
// readable name in them when asked for typeid(...).name(). Nothing in this
// library writes them.
#include "plugin/msvc_bad_alloc.h"

#include <cstddef>
#include <cstdint>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

// Microsoft's std::exception (and std::bad_alloc, which adds nothing): a
// table pointer, then __std_exception_data { const char* _What; bool _DoFree; }.
struct MsvcException {
    const void* table;
    const char* message;
    bool ownsMessage;
};
static_assert(sizeof(MsvcException) == 24);
static_assert(offsetof(MsvcException, table) == 0);
static_assert(offsetof(MsvcException, message) == 8);
static_assert(offsetof(MsvcException, ownsMessage) == 16);

constexpr DWORD kMsvcExceptionCode = 0xE06D7363;  // 'msc' | 0xE0000000
constexpr ULONG_PTR kMsvcMagic = 0x19930520;
constexpr char kBadAllocation[] = "bad allocation";

}  // namespace

extern "C" {

// Defined in the assembly below.
extern const void* const sepia_msvc_bad_alloc_table[];
extern const void* const sepia_msvc_exception_table[];
extern const unsigned char sepia_msvc_bad_alloc_throw_info[];
// The start of this DLL's image, provided by the linker.
extern const IMAGE_DOS_HEADER __ImageBase;

// The functions the catching runtime calls, with Microsoft's x64 member
// calling convention (`this` is the first argument, in rcx).

// Table entry 0, the scalar deleting destructor. There is nothing to
// destroy; the memory of a heap copy belongs to whoever allocated it, so it
// is not freed here.
void* sepia_msvc_exception_deleting_destructor(MsvcException* self, unsigned /*flags*/) { return self; }

// Table entry 1, what().
const char* sepia_msvc_exception_what(const MsvcException* self) {
    return self->message != nullptr ? self->message : "Unknown exception";
}

// The ThrowInfo's destructor: the message is never owned.
void sepia_msvc_exception_destroy(MsvcException* /*self*/) {}

// Copy constructors for catching by value, as std::bad_alloc and as
// std::exception (which gets std::exception's own table).
MsvcException* sepia_msvc_bad_alloc_copy(MsvcException* self, const MsvcException* source) {
    *self = {sepia_msvc_bad_alloc_table, source->message, false};
    return self;
}
MsvcException* sepia_msvc_exception_copy(MsvcException* self, const MsvcException* source) {
    *self = {sepia_msvc_exception_table, source->message, false};
    return self;
}

}  // extern "C"

// Layouts (all offsets image-relative, 32 bits):
//   TypeDescriptor           { void* typeInfoTable; void* nameCache; char name[]; }
//   CompleteObjectLocator    { 1; offset 0; 0; type; hierarchy; self; }
//   ClassHierarchyDescriptor { 0; attributes 0; base count; base array; }
//   BaseClassDescriptor      { type; contained bases; mdisp 0, pdisp -1, vdisp 0; 0x40; hierarchy; }
//   ThrowInfo                { attributes 0; destructor; 0; catchable type array; }
//   CatchableTypeArray       { count; catchable types...; }
//   CatchableType            { properties; type; mdisp 0, pdisp -1, vdisp 0; object size; copy function; }
// The catchable type of std::bad_alloc carries property 0x10 (it is
// std::bad_alloc), as Visual C++ marks it.
asm(R"(
        .data
        .p2align 3
sepia_msvc_bad_alloc_type:
        .quad 0, 0
        .asciz ".?AVbad_alloc@std@@"
        .p2align 3
sepia_msvc_exception_type:
        .quad 0, 0
        .asciz ".?AVexception@std@@"

        .section .rdata,"dr"
        .p2align 3
sepia_msvc_bad_alloc_locator:
        .long 1, 0, 0
        .rva sepia_msvc_bad_alloc_type, sepia_msvc_bad_alloc_hierarchy, sepia_msvc_bad_alloc_locator
        .p2align 3
        .quad sepia_msvc_bad_alloc_locator
        .globl sepia_msvc_bad_alloc_table
sepia_msvc_bad_alloc_table:
        .quad sepia_msvc_exception_deleting_destructor, sepia_msvc_exception_what

        .p2align 3
sepia_msvc_exception_locator:
        .long 1, 0, 0
        .rva sepia_msvc_exception_type, sepia_msvc_exception_hierarchy, sepia_msvc_exception_locator
        .p2align 3
        .quad sepia_msvc_exception_locator
        .globl sepia_msvc_exception_table
sepia_msvc_exception_table:
        .quad sepia_msvc_exception_deleting_destructor, sepia_msvc_exception_what

        .p2align 2
sepia_msvc_bad_alloc_hierarchy:
        .long 0, 0, 2
        .rva sepia_msvc_bad_alloc_bases
sepia_msvc_bad_alloc_bases:
        .rva sepia_msvc_bad_alloc_base, sepia_msvc_exception_base
        .long 0
sepia_msvc_exception_hierarchy:
        .long 0, 0, 1
        .rva sepia_msvc_exception_bases
sepia_msvc_exception_bases:
        .rva sepia_msvc_exception_base
        .long 0
sepia_msvc_bad_alloc_base:
        .rva sepia_msvc_bad_alloc_type
        .long 1, 0, -1, 0, 0x40
        .rva sepia_msvc_bad_alloc_hierarchy
sepia_msvc_exception_base:
        .rva sepia_msvc_exception_type
        .long 0, 0, -1, 0, 0x40
        .rva sepia_msvc_exception_hierarchy

        .globl sepia_msvc_bad_alloc_throw_info
sepia_msvc_bad_alloc_throw_info:
        .long 0
        .rva sepia_msvc_exception_destroy
        .long 0
        .rva sepia_msvc_bad_alloc_catchable_types
sepia_msvc_bad_alloc_catchable_types:
        .long 2
        .rva sepia_msvc_bad_alloc_catchable, sepia_msvc_exception_catchable
sepia_msvc_bad_alloc_catchable:
        .long 0x10
        .rva sepia_msvc_bad_alloc_type
        .long 0, -1, 0, 24
        .rva sepia_msvc_bad_alloc_copy
sepia_msvc_exception_catchable:
        .long 0
        .rva sepia_msvc_exception_type
        .long 0, -1, 0, 24
        .rva sepia_msvc_exception_copy
        .text
)");

void raiseMsvcBadAlloc() {
    const MsvcException object{sepia_msvc_bad_alloc_table, kBadAllocation, false};
    const ULONG_PTR arguments[4] = {
        kMsvcMagic,
        reinterpret_cast<ULONG_PTR>(&object),
        reinterpret_cast<ULONG_PTR>(sepia_msvc_bad_alloc_throw_info),
        reinterpret_cast<ULONG_PTR>(&__ImageBase),
    };
    RaiseException(kMsvcExceptionCode, EXCEPTION_NONCONTINUABLE, 4, arguments);
    // A non-continuable exception does not come back.
    __builtin_trap();
}
