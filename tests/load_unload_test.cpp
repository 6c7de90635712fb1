// The library loaded and unloaded again and again, as a host that opens and
// closes plug-ins does: each time objects are created, used and released,
// some of them on another thread than the one that created them. Nothing may
// crash, the library must really leave the process each time, and the
// process's memory must stay flat.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host/plugin/module_path.h"
#include "host/plugin/plugin_library.h"

#if defined(_WIN32)
#include <windows.h>
// windows.h first: psapi.h needs its types.
#include <psapi.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

using host::ParameterBlock;

bool isLoaded(const std::string& path) {
#if defined(_WIN32)
    return GetModuleHandleA(path.c_str()) != nullptr;
#else
    void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
#endif
}

// Memory the process holds: its committed private memory on Windows (Wine
// reports it as PagefileUsage only), its resident set on Linux.
std::uint64_t processMemoryBytes() {
#if defined(_WIN32)
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
#else
    std::uint64_t total = 0;
    std::uint64_t resident = 0;
    std::ifstream("/proc/self/statm") >> total >> resident;
    return resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
#endif
}

// Tones a few pixels with `object` and checks one result ("Sepia 1" turns
// white into (238, 255, 255)).
bool toneWhite(void* object) {
    ParameterBlock record;
    host::callEntry<std::intptr_t>(object, host::entry::kDescribeParameter, record.data());
    std::vector<std::uint8_t> pixels(4 * 64, 255);
    host::callEntry<void>(object, host::entry::kProcess, pixels.data(), static_cast<const void*>(pixels.data()), 8, 8,
                          static_cast<const void*>(record.bytes()));
    return pixels[0] == 238 && pixels[1] == 255 && pixels[2] == 255 && pixels[3] == 255;
}

// One load: two objects used and released here, two created here and handed
// to another thread that uses and releases them.
bool oneLifetime(const std::string& path) {
    const host::PluginLibrary library(path);
    void* mine[2] = {library.createObject(), library.createObject()};
    void* handedOver[2] = {library.createObject(), library.createObject()};
    bool otherThreadOk = true;
    std::thread other([&] {
        for (void* object : handedOver) {
            otherThreadOk = toneWhite(object) && otherThreadOk;
            library.releaseObject(object);
        }
    });
    bool ok = true;
    for (void* object : mine) {
        ok = toneWhite(object) && ok;
        library.releaseObject(object);
    }
    other.join();
    return ok && otherThreadOk;
}

TEST(LoadUnload, FiveHundredTimesWithObjectsOnSeveralThreads) {
    const std::string path = host::pluginBesideExecutable();
    ASSERT_FALSE(isLoaded(path)) << "this program must not hold the plug-in already";
    constexpr int kLoads = 500;
    constexpr int kWarmUp = 50;
    std::uint64_t afterWarmUp = 0;
    for (int load = 1; load <= kLoads; ++load) {
        ASSERT_TRUE(oneLifetime(path)) << "load " << load;
        ASSERT_FALSE(isLoaded(path)) << "the library stayed in the process after unload " << load;
        if (load == kWarmUp) {
            afterWarmUp = processMemoryBytes();
        }
    }
    const std::uint64_t atEnd = processMemoryBytes();
    std::printf("process memory after %d loads: %llu KiB, after %d: %llu KiB\n", kWarmUp,
                static_cast<unsigned long long>(afterWarmUp >> 10), kLoads,
                static_cast<unsigned long long>(atEnd >> 10));
    ASSERT_GT(atEnd, 0u) << "no memory figure from the system";
#if !defined(SEPIA_SANITIZED)
    // Sanitizers hold freed memory in quarantine; elsewhere 450 more loads
    // must not cost more than a little allocator noise.
    constexpr std::uint64_t kNoise = std::uint64_t{2} << 20;
    EXPECT_LE(atEnd, afterWarmUp + kNoise) << "memory grew by " << ((atEnd - afterWarmUp) >> 10) << " KiB";
#endif
}

}  // namespace
