// The main of every GoogleTest program here. It exits with kSkippedExitCode
// when tests were skipped and none failed, so that CTest (SKIP_RETURN_CODE)
// reports the run as skipped rather than passed; the reason GTEST_SKIP gave
// is in the output.
#include <gtest/gtest.h>

namespace {
constexpr int kSkippedExitCode = 77;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (result == 0 && ::testing::UnitTest::GetInstance()->skipped_test_count() > 0) {
        return kSkippedExitCode;
    }
    return result;
}
