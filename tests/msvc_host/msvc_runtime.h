#pragma once

// The little of the Visual C++ runtime and of Windows that the test host
// uses, declared here with Microsoft's layouts, so that no Microsoft header
// or library is needed. The functions come from msvcrt.dll and
// kernel32.dll through import libraries made from msvcrt.def and
// kernel32.def.

using size_t = decltype(sizeof(0));
using uintptr_t = unsigned long long;
using uint8_t = unsigned char;
using int32_t = int;
using uint32_t = unsigned int;
static_assert(sizeof(void*) == 8 && sizeof(long) == 4, "the 64-bit Visual C++ data model");

// type_info as msvcrt.dll implements it: its table, a cache of the
// readable name, then the decorated name. Catch clauses refer to type
// descriptors of this shape.
class type_info {
public:
    virtual ~type_info();
    const char* raw_name() const;  // the decorated name, ".?AV...@@"

private:
    void* nameCache_;
    char decoratedName_[1];
};

// type_info's table, which the type descriptors of catch clauses point to
// (msvcrt.dll does not export it; the host defines it). Only a type_info's
// deletion would call through it, and type descriptors are never deleted.
extern "C" const void* const typeInfoTable[1] __asm__("??_7type_info@@6B@");

namespace std {

// Microsoft's std::exception: a table (deleting destructor, what), the
// message, and whether the object owns the message.
class exception {
public:
    virtual ~exception() {}
    virtual const char* what() const { return message_ != nullptr ? message_ : "Unknown exception"; }

protected:
    exception() = default;

private:
    const char* message_ = nullptr;
    [[maybe_unused]] bool ownsMessage_ = false;
};

class bad_alloc : public exception {
protected:
    bad_alloc() = default;
};

}  // namespace std

static_assert(sizeof(std::exception) == 24 && sizeof(std::bad_alloc) == 24, "Microsoft's layout");

extern "C" {
// msvcrt.dll
int printf(const char* format, ...);
int fflush(void* stream);
int strcmp(const char* a, const char* b);
int memcmp(const void* a, const void* b, size_t size);
void* memset(void* destination, int value, size_t size);
void* memcpy(void* destination, const void* source, size_t size);

// kernel32.dll
struct ExceptionRecord {
    uint32_t code;
    uint32_t flags;
    ExceptionRecord* next;
    void* address;
    uint32_t parameterCount;
    uintptr_t parameters[15];
};
struct ExceptionPointers {
    ExceptionRecord* record;
    void* context;
};
using VectoredHandler = long (*)(ExceptionPointers*);
void* __stdcall LoadLibraryA(const char* name);
void* __stdcall GetProcAddress(void* module, const char* name);
int __stdcall FreeLibrary(void* module);
int __stdcall VirtualProtect(void* address, size_t size, uint32_t protection, uint32_t* oldProtection);
void* __stdcall AddVectoredExceptionHandler(uint32_t first, VectoredHandler handler);
uint32_t __stdcall RemoveVectoredExceptionHandler(void* handle);
[[noreturn]] void __stdcall ExitProcess(uint32_t code);
}

inline constexpr uint32_t kPageReadWrite = 0x04;
inline constexpr long kExceptionContinueSearch = 0;
