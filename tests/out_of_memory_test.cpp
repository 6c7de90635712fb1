// Create_Plugin when the heap is exhausted: the new-handler is tried, as
// operator new tries it; the standard out-of-memory exception leaves it when
// no handler is left; it never returns null. The plug-in's code is linked into
// this program, whose allocation functions can be told to find no memory.
// (On Windows the exception is raised for Visual C++ hosts, which this GCC
// program cannot catch; the Visual C++ test host checks it.)
#include <gtest/gtest.h>

#include <new>

#include "plugin/exports.h"
#include "tests/failing_allocator.h"

namespace {

int handlerCalls = 0;

// The new-handler of a program that finds memory to free on its second call.
void handlerThatFreesMemory() {
    if (++handlerCalls == 2) {
        failing_allocator::setExhausted(false);
    }
}

TEST(OutOfMemory, CreatePluginTriesTheNewHandlerUntilMemoryIsBack) {
    handlerCalls = 0;
    std::set_new_handler(handlerThatFreesMemory);
    failing_allocator::setExhausted(true);
    IPlugin* plugin = Create_Plugin();
    failing_allocator::setExhausted(false);
    std::set_new_handler(nullptr);
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(handlerCalls, 2);
    EXPECT_STREQ(plugin->GetName(), "Sepia");
    Release_Plugin(plugin);
}

#if !defined(_WIN32)
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
#endif

TEST(OutOfMemory, CreatePluginWorksAgainOnceMemoryIsBack) {
    IPlugin* plugin = Create_Plugin();
    ASSERT_NE(plugin, nullptr);
    EXPECT_STREQ(plugin->GetName(), "Sepia");
    Release_Plugin(plugin);
}

}  // namespace
