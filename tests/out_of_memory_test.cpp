// Create_Plugin when the heap is exhausted: the standard out-of-memory
// exception leaves it, after the new-handler was tried; it never returns
// null. This program replaces the global allocation functions so that the
// test can make allocation fail on demand, and links the plug-in's code in.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "plugin/exports.h"

namespace {

std::atomic<bool> failAllocations{false};
int handlerCalls = 0;

// The new-handler of a program that could free a little memory twice, then
// gives up by removing itself.
void handlerThatGivesUp() {
    if (++handlerCalls == 2) {
        std::set_new_handler(nullptr);
    }
}

}  // namespace

// The standard's contract for operator new: try, call the new-handler while
// one is installed, throw std::bad_alloc when none is.
void* operator new(std::size_t size) {
    for (;;) {
        if (!failAllocations.load()) {
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
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

TEST(OutOfMemory, CreatePluginThrowsBadAllocAfterTheNewHandler) {
    handlerCalls = 0;
    std::set_new_handler(handlerThatGivesUp);
    failAllocations.store(true);
    bool threwBadAlloc = false;
    try {
        IPlugin* plugin = Create_Plugin();
        failAllocations.store(false);
        Release_Plugin(plugin);
    } catch (const std::bad_alloc&) {
        threwBadAlloc = true;
    }
    failAllocations.store(false);
    std::set_new_handler(nullptr);
    EXPECT_TRUE(threwBadAlloc);
    EXPECT_EQ(handlerCalls, 2);
}

TEST(OutOfMemory, CreatePluginWorksAgainOnceMemoryIsBack) {
    IPlugin* plugin = Create_Plugin();
    ASSERT_NE(plugin, nullptr);
    EXPECT_STREQ(plugin->GetName(), "Sepia");
    Release_Plugin(plugin);
}

}  // namespace
