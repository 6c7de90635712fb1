// A host built as the real host application is: for the Visual C++ ABI
// (clang --target=x86_64-pc-windows-msvc, linked with lld-link against
// msvcrt.dll, whose C++ exception runtime Wine provides). It loads
// sepia.dll from its own folder, drives the object through a C++
// declaration of IPlugin (virtual calls: a second witness for the order of
// the table as Visual C++ lays it out), then makes the DLL's allocations
// fail by patching its import address table and catches the out-of-memory
// exception as Visual C++ code does. Prints what it checks; exit code 0 when
// every check held.
#include "tests/msvc_host/msvc_runtime.h"

namespace {

// The host's record: at least 292 bytes, here followed by more of its own.
struct ParameterRecord {
    char labels[256];
    double value;
    double minimum;
    double maximum;
    double auxiliary;
    int32_t kind;
    uint8_t hostOwned[220];
};
static_assert(__builtin_offsetof(ParameterRecord, value) == 256 && __builtin_offsetof(ParameterRecord, kind) == 288);

// The host's plug-in interface, in table order.
class IPlugin {
public:
    virtual const char* GetName() = 0;
    virtual const char* GetDescription() = 0;
    virtual long long Entry2() = 0;
    virtual long long Entry3() = 0;
    virtual long long Entry4() = 0;
    virtual long long Entry5() = 0;
    virtual long long Entry6() = 0;
    virtual long long Entry7() = 0;
    virtual long long DescribeParameter(ParameterRecord* record) = 0;
    virtual long long Entry9() = 0;
    virtual void Entry10() = 0;
    virtual long long Entry11() = 0;
    virtual void Entry12() = 0;
    virtual void Process(uint8_t* destination, const uint8_t* source, int32_t width, int32_t height,
                         ParameterRecord* record) = 0;
    virtual void Entry14() = 0;
    virtual long long Entry15() = 0;
    virtual long long Entry16() = 0;
    virtual long long Entry17() = 0;
    virtual long long Entry18() = 0;
};

using TextExport = const char* (*)();
using CategoryExport = long long (*)();
using CreateExport = IPlugin* (*)();
using ReleaseExport = void (*)(IPlugin*);

int failures = 0;

void check(bool ok, const char* what) {
    printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) {
        ++failures;
    }
}

// The Visual C++ exception the last failed allocation raised, as a vectored
// handler sees it before any catch clause.
struct RaisedException {
    uint32_t code = 0;
    uint32_t parameterCount = 0;
    uintptr_t magic = 0;
    uintptr_t imageBase = 0;
} raised;

long recordVisualCppException(ExceptionPointers* pointers) {
    const ExceptionRecord* record = pointers->record;
    if (record->code == 0xE06D7363u) {
        raised.code = record->code;
        raised.parameterCount = record->parameterCount;
        raised.magic = record->parameterCount > 0 ? record->parameters[0] : 0;
        raised.imageBase = record->parameterCount > 3 ? record->parameters[3] : 0;
    }
    return kExceptionContinueSearch;
}

int failedAllocations = 0;
void* allocateNothing(size_t) {
    ++failedAllocations;
    return nullptr;
}

bool sameTextIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a + 32) : *a;
        const char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b + 32) : *b;
        if (x != y) {
            return false;
        }
        if (x == 0) {
            return true;
        }
    }
}

// The slot of the import address table of `module` through which it calls
// `function` of `dll`, found by name in its import lookup table.
void** importSlot(void* module, const char* dll, const char* function) {
    auto* base = static_cast<uint8_t*>(module);
    auto at = [base](uint32_t offset) { return base + offset; };
    auto read32 = [](const uint8_t* p) {
        uint32_t value;
        memcpy(&value, p, 4);
        return value;
    };
    const uint8_t* nt = at(read32(base + 0x3C));
    // "PE\0\0", the 20-byte file header, then the 64-bit optional header,
    // whose data directory 1 (imports) starts 120 bytes in.
    const uint32_t imports = read32(nt + 4 + 20 + 120);
    for (const uint8_t* descriptor = at(imports); read32(descriptor + 16) != 0; descriptor += 20) {
        if (!sameTextIgnoringCase(reinterpret_cast<const char*>(at(read32(descriptor + 12))), dll)) {
            continue;
        }
        const auto* names = reinterpret_cast<const unsigned long long*>(at(read32(descriptor)));
        auto** slots = reinterpret_cast<void**>(at(read32(descriptor + 16)));
        for (int i = 0; names[i] != 0; ++i) {
            const bool byOrdinal = (names[i] >> 63) != 0;
            if (!byOrdinal &&
                strcmp(reinterpret_cast<const char*>(at(static_cast<uint32_t>(names[i]) + 2)), function) == 0) {
                return &slots[i];
            }
        }
    }
    return nullptr;
}

void* replaceImport(void** slot, void* replacement) {
    uint32_t oldProtection = 0;
    VirtualProtect(slot, sizeof(void*), kPageReadWrite, &oldProtection);
    void* previous = *slot;
    *slot = replacement;
    VirtualProtect(slot, sizeof(void*), oldProtection, &oldProtection);
    return previous;
}

// Through the object's table, so that the compiler cannot call what() or
// look up the type directly.
__declspec(noinline) const char* whatOf(const std::exception& error) { return error.what(); }
__declspec(noinline) const char* typeNameOf(const std::exception& error) { return typeid(error).raw_name(); }

void checkFixedAnswers(IPlugin* plugin, const char* name) {
    check(plugin->GetName() == name, "entry 0 returns the pointer GetPluginName returns");
    check(strcmp(plugin->GetDescription(), "Simulates Sepia and Cyanotype") == 0,
          "entry 1 is \"Simulates Sepia and Cyanotype\"");
    check(plugin->Entry2() == 1 && plugin->Entry3() == 1 && plugin->Entry7() == 1 && plugin->Entry17() == 1 &&
              plugin->Entry18() == 1,
          "entries 2, 3, 7, 17, 18 return 1");
    check(plugin->Entry4() == 0x483D38 && plugin->Entry5() == 0x828282 && plugin->Entry6() == 70,
          "entries 4, 5, 6 return 0x483D38, 0x828282, 70");
    check(plugin->Entry9() == 0 && plugin->Entry11() == 0 && plugin->Entry15() == 0 && plugin->Entry16() == 0,
          "entries 9, 11, 15, 16 return 0");
    plugin->Entry10();
    plugin->Entry12();
    plugin->Entry14();
}

void checkParameterAndProcess(IPlugin* plugin) {
    ParameterRecord record;
    // Junk everywhere, so that a field the plug-in fails to write shows.
    // cppcheck-suppress memsetClassFloat
    memset(&record, 0x5A, sizeof(record));
    check(plugin->DescribeParameter(&record) == 1, "DescribeParameter returns 1");
    check(strcmp(record.labels,
                 "Sepia 1|Sepia 2|Sepia 3|Sepia 4|Sepia 5|Sepia 6|Cyanotype 1|Cyanotype 2|"
                 "Cyanotype 3|Cyanotype 4|Cyanotype 5") == 0 &&
              static_cast<uint8_t>(record.labels[108]) == 0x5A,
          "DescribeParameter writes the labels and nothing after their zero byte");
    check(record.value == 0.0 && record.minimum == 0.0 && record.maximum == 10.0 && record.auxiliary == 0.0 &&
              record.kind == 3 && record.hostOwned[0] == 0x5A,
          "DescribeParameter writes value 0, minimum 0, maximum 10, auxiliary 0, kind 3, nothing beyond");

    // (blue, green, red, fourth) = (37, 99, 201, 0x11) under "Sepia 1" and "Cyanotype 5".
    const uint8_t source[8] = {37, 99, 201, 0x11, 255, 255, 255, 0x22};
    uint8_t destination[8];
    memset(destination, 0x7F, sizeof(destination));
    plugin->Process(destination, source, 2, 1, &record);
    const uint8_t sepia1[8] = {112, 144, 162, 0x7F, 238, 255, 255, 0x7F};
    check(memcmp(destination, sepia1, 8) == 0, "Process tones with \"Sepia 1\" and keeps the fourth bytes");
    record.value = 10.0;
    plugin->Process(destination, source, 2, 1, &record);
    const uint8_t cyanotype5[8] = {123, 140, 0, 0x7F, 255, 255, 0, 0x7F};
    check(memcmp(destination, cyanotype5, 8) == 0, "Process tones with \"Cyanotype 5\"");
}

void checkOutOfMemory(void* library, CreateExport createPlugin, ReleaseExport releasePlugin) {
    void** mallocSlot = importSlot(library, "msvcrt.dll", "malloc");
    check(mallocSlot != nullptr, "sepia.dll imports malloc from msvcrt.dll");
    if (mallocSlot == nullptr) {
        return;
    }
    void* handler = AddVectoredExceptionHandler(1, recordVisualCppException);
    void* realMalloc = replaceImport(mallocSlot, reinterpret_cast<void*>(&allocateNothing));

    bool caughtBadAlloc = false;
    try {
        IPlugin* plugin = createPlugin();
        releasePlugin(plugin);
    } catch (const std::bad_alloc& error) {
        caughtBadAlloc = true;
        check(strcmp(whatOf(error), "bad allocation") == 0,
              "what() of the caught std::bad_alloc is \"bad allocation\"");
        check(strcmp(typeNameOf(error), ".?AVbad_alloc@std@@") == 0,
              "typeid of the caught object reads .?AVbad_alloc@std@@");
    }
    check(caughtBadAlloc, "out of memory: Create_Plugin throws, caught as const std::bad_alloc&");
    check(failedAllocations >= 1, "the allocation went through the patched import");
    check(raised.code == 0xE06D7363u && raised.parameterCount == 4 && raised.magic == 0x19930520u,
          "it was raised as exception 0xE06D7363 with the x64 throw information");
    check(raised.imageBase == reinterpret_cast<uintptr_t>(library), "its offsets are relative to sepia.dll's image");

    bool caughtException = false;
    try {
        createPlugin();
    } catch (const std::exception& error) {
        caughtException = true;
        check(strcmp(whatOf(error), "bad allocation") == 0,
              "what() of the caught std::exception is \"bad allocation\"");
        check(dynamic_cast<const std::bad_alloc*>(&error) != nullptr,
              "dynamic_cast from std::exception to std::bad_alloc succeeds");
    }
    check(caughtException, "caught as const std::exception&");

    bool caughtCopy = false;
    try {
        createPlugin();
    } catch (std::exception copy) {
        caughtCopy = true;
        check(strcmp(whatOf(copy), "bad allocation") == 0, "what() of a copy caught by value is \"bad allocation\"");
        check(strcmp(typeNameOf(copy), ".?AVexception@std@@") == 0,
              "the copy is a std::exception, made by the DLL's copy function for that type");
    }
    check(caughtCopy, "caught by value as std::exception");

    bool caughtRethrown = false;
    try {
        try {
            createPlugin();
        } catch (...) {
            throw;
        }
    } catch (const std::bad_alloc& error) {
        caughtRethrown = strcmp(whatOf(error), "bad allocation") == 0;
    }
    check(caughtRethrown, "caught again as std::bad_alloc after catch (...) and throw;");

    replaceImport(mallocSlot, realMalloc);
    RemoveVectoredExceptionHandler(handler);
    IPlugin* plugin = createPlugin();
    check(plugin != nullptr && strcmp(plugin->GetName(), "Sepia") == 0, "memory back: Create_Plugin works again");
    releasePlugin(plugin);
}

int run() {
    void* library = LoadLibraryA("sepia.dll");
    check(library != nullptr, "LoadLibrary(sepia.dll)");
    if (library == nullptr) {
        return 1;
    }
    auto getName = reinterpret_cast<TextExport>(GetProcAddress(library, "GetPluginName"));
    auto getId = reinterpret_cast<TextExport>(GetProcAddress(library, "GetPluginID"));
    auto getCategory = reinterpret_cast<CategoryExport>(GetProcAddress(library, "GetCategory"));
    auto createPlugin = reinterpret_cast<CreateExport>(GetProcAddress(library, "Create_Plugin"));
    auto releasePlugin = reinterpret_cast<ReleaseExport>(GetProcAddress(library, "Release_Plugin"));
    check(getName && getId && getCategory && createPlugin && releasePlugin, "the five exports resolve by name");
    if (!(getName && getId && getCategory && createPlugin && releasePlugin)) {
        return 1;
    }
    check(strcmp(getName(), "Sepia") == 0 && getCategory() == 0, "GetPluginName is \"Sepia\", GetCategory 0");
    printf("     identifier %s\n", getId());

    IPlugin* first = createPlugin();
    IPlugin* second = createPlugin();
    check(first != nullptr && second != nullptr && first != second, "Create_Plugin gives distinct objects");
    checkFixedAnswers(first, getName());
    releasePlugin(first);
    checkParameterAndProcess(second);
    releasePlugin(second);
    releasePlugin(nullptr);

    checkOutOfMemory(library, createPlugin, releasePlugin);
    check(FreeLibrary(library) != 0, "FreeLibrary");
    printf("%s: %d check%s failed\n", failures == 0 ? "passed" : "FAILED", failures, failures == 1 ? "" : "s");
    return failures == 0 ? 0 : 1;
}

}  // namespace

// No C runtime start-up: msvcrt.dll initialises itself when loaded.
extern "C" [[noreturn]] void hostEntry() {
    const int status = run();
    fflush(nullptr);
    ExitProcess(static_cast<uint32_t>(status));
}

extern "C" const void* const typeInfoTable[1] = {nullptr};

// The linker expects this symbol in any program that uses floating point.
extern "C" int _fltused = 0;
