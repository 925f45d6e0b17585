#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Exit status 77 is CTest's "skipped" (SKIP_RETURN_CODE): a program of many
// cases that skipped one did not test everything, and must not pass as if it
// had. Each skipped case is named with its reason, one "skipped:" line each.
const int kSkipped = 77;

const char* SkipReason(const testing::TestResult& result)
{
    for (int i = 0; i < result.total_part_count(); ++i)
    {
        const testing::TestPartResult& part = result.GetTestPartResult(i);
        if (part.type() == testing::TestPartResult::kSkip)
            return part.message();
    }
    return "";
}

int ReportSkips()
{
    const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
    int nSkipped = 0;
    for (int i = 0; i < unit.total_test_suite_count(); ++i)
    {
        const testing::TestSuite& suite = *unit.GetTestSuite(i);
        for (int j = 0; j < suite.total_test_count(); ++j)
        {
            const testing::TestInfo& info = *suite.GetTestInfo(j);
            if (!info.result()->Skipped())
                continue;
            std::printf("skipped: %s.%s: %s\n", info.test_suite_name(), info.name(), SkipReason(*info.result()));
            ++nSkipped;
        }
    }
    std::fflush(stdout);
    return nSkipped == 0 ? 0 : kSkipped;
}

}  // namespace

int main(int argc, char** argv)
{
#ifndef _WIN32
    // A test chooses its display itself: windows of its own must not pop up
    // on the desktop of whoever runs the tests, nor wait there for answers.
    unsetenv("DISPLAY");
#endif
    ::testing::InitGoogleTest(&argc, argv);
    const int nResult = RUN_ALL_TESTS();
    return nResult != 0 ? nResult : ReportSkips();
}
