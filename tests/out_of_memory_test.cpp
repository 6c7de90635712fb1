// Create_Plugin when the heap is exhausted: the standard out-of-memory
// exception leaves it, after the new-handler was tried; it never returns
// null. The plug-in's code is linked into this program, whose allocation
// functions (failing_allocator.cpp) can be told to find no memory.
#include <gtest/gtest.h>

#include <new>

#include "plugin/exports.h"
#include "tests/failing_allocator.h"

namespace {

int handlerCalls = 0;

// The new-handler of a program that could free a little memory twice, then
// gives up by removing itself.
void handlerThatGivesUp() {
    if (++handlerCalls == 2) {
        std::set_new_handler(nullptr);
    }
}

TEST(OutOfMemory, CreatePluginThrowsBadAllocAfterTheNewHandler) {
    handlerCalls = 0;
    std::set_new_handler(handlerThatGivesUp);
    failing_allocator::setExhausted(true);
    bool threwBadAlloc = false;
    try {
        IPlugin* plugin = Create_Plugin();
        failing_allocator::setExhausted(false);
        Release_Plugin(plugin);
    } catch (const std::bad_alloc&) {
        threwBadAlloc = true;
    }
    failing_allocator::setExhausted(false);
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
