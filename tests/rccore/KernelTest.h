// Test support inside the kernel VM: the fixture of the tests on the
// kernel's own rc-core, with rc-loopback loaded as the card.
#ifndef REMOTEMONITOR_TESTS_KERNELTEST_H
#define REMOTEMONITOR_TESTS_KERNELTEST_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "KernelToolRun.h"

#ifndef RM_EXE
#error "RM_EXE: the tool's path"
#endif
#ifndef RM_RCCORE_LIBRARY
#error "RM_RCCORE_LIBRARY: the receiver library's path"
#endif

namespace rmtest {

// A frame sent in scancode mode, and what the tool is to show for it.
struct SExpected
{
    const char* pszProtocols;  // written to the protocols file first
    uint16_t proto;
    uint64_t scancode;
    const char* pszCode;  // the RC Code field; empty for 255
    const char* pszCodeEx;
};

// Several releases of a held key, against the kernel's: the middle one
// from earlyMs before to lateMs after it (the tool: up to a poll and 5 ms
// late), none long before or far after. The kernel's own key-up timer
// fires a few milliseconds after its due time (whole jiffies, a busy
// emulated machine), and a poll is delayed now and then.
inline void ExpectReleasedWithTheKernel(std::vector<double> lags, const std::string& what, double earlyMs = 5,
                                        double lateMs = 25)
{
    std::sort(lags.begin(), lags.end());
    ASSERT_FALSE(lags.empty()) << what;
    std::printf("kernel vs tool: %s: minus kernel key-up %.1f / %.1f / %.1f ms (min / median / max of %zu)\n",
                what.c_str(), lags.front(), lags[lags.size() / 2], lags.back(), lags.size());
    EXPECT_LE(-earlyMs - 7, lags.front()) << what;
    EXPECT_LE(-earlyMs, lags[lags.size() / 2]) << what;
    EXPECT_GE(lateMs, lags[lags.size() / 2]) << what;
    EXPECT_GE(lateMs + 35, lags.back()) << what;
}

class CKernelTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!InKernelVm())
            GTEST_SKIP() << "runs in the kernel VM only: scripts/vm/run.sh";
        ASSERT_TRUE(m_loop.Load()) << "rc-loopback did not load";
    }

    // A tool on the loopback card, its OpenCard done.
    void Opened(CKernelTool& tool)
    {
        ASSERT_TRUE(tool.LogHas("OpenCard(" + std::to_string(m_loop.Card()) + ") -> 1", 10000)) << tool.AllText();
    }

    // The frame shown once, then both fields emptied, and nothing else.
    void ExpectShownThenReleased(CKernelTool& tool, const SExpected& row)
    {
        SCOPED_TRACE(std::string(row.pszProtocols) + " " + std::to_string(row.proto) + " " + row.pszCodeEx);
        ASSERT_TRUE(m_loop.SetProtocols(row.pszProtocols));
        const size_t nFrom = tool.LineCount();
        ASSERT_TRUE(m_loop.SendScancode(row.proto, row.scancode));
        size_t nEx = 0;
        ASSERT_NE(0u, tool.WaitLine("Extended code: " + std::string(row.pszCodeEx), nFrom, 3000, &nEx))
            << tool.AllText();
        ASSERT_NE(0u, tool.WaitLine("Extended code:", nEx + 1, 3000)) << tool.AllText();
        if (row.pszCode[0] != '\0')
        {
            ASSERT_NE(0u, tool.WaitLine("RC Code:", nEx + 1, 3000)) << tool.AllText();
        }
        std::vector<std::string> shown = tool.FieldLines(nFrom);
        std::vector<std::string> expected = {"RC Code: " + std::string(row.pszCode),
                                             "Extended code: " + std::string(row.pszCodeEx),
                                             "RC Code:", "Extended code:"};
        if (row.pszCode[0] == '\0')
            expected = {expected[1], expected[3]};
        // The two fields may change in one poll or in two, either first: a
        // record can come between the poll's two calls.
        if (shown.size() == 4 && expected.size() == 4)
            for (std::vector<std::string>* pLines : {&shown, &expected})
            {
                std::sort(pLines->begin(), pLines->begin() + 2);
                std::sort(pLines->begin() + 2, pLines->end());
            }
        EXPECT_EQ(expected, shown);
    }

    struct SHold
    {
        const char* pszWhat;
        uint16_t proto;
        uint64_t scancode;
        const char* pszPress;
    };
    // Held for about 650 ms, as remotes send: NEC its repeat codes, RC-5
    // and RC-6 their whole frames again.
    double Hold(const SHold& hold)
    {
        return hold.proto == 9 ? m_loop.HoldNec(0x04, 0x08, 5) : m_loop.HoldFrames(hold.proto, hold.scancode, 6, 110);
    }
    static constexpr SHold kHolds[] = {{"NEC with repeat codes", 9, 0x0408, "Extended code: 04FB08F7"},
                                       {"RC-5 frames", 2, 0x1E0B, "Extended code: 00001E0B"},
                                       {"RC-6 MCE frames", 19, 0x800F040C, "Extended code: 800F040C"}};

    // Trials of a held key until five that the machine did not disturb,
    // each measured against the kernel's key-up: holdKey sends the key and
    // returns how late its latest send was. A trial counts when the sends
    // kept their rhythm and the kernel saw one press; the tool must then
    // have shown one press too.
    template <typename HoldKey>
    std::vector<double> ReleaseLags(CKernelTool& tool, CKernelKeys& keys, const std::string& pressLine, HoldKey holdKey)
    {
        std::vector<double> lags;
        for (int nTrial = 0; nTrial < 10 && lags.size() < 5; ++nTrial)
        {
            SCOPED_TRACE("trial " + std::to_string(nTrial));
            const size_t nFrom = tool.LineCount();
            const double lateMs = holdKey();
            EXPECT_LE(0, lateMs);
            const SReleaseLag lag = MeasureRelease(tool, keys, nFrom, pressLine);
            EXPECT_TRUE(lag.nToolPresses > 0 && lag.bReleased) << tool.AllText();
            if (lag.nToolPresses == 0 || !lag.bReleased)
                break;
            if (lateMs >= 0 && lateMs < 5 && lag.nKernelPresses == 1)
            {
                EXPECT_EQ(1, lag.nToolPresses) << "one press, as the kernel saw: " << tool.AllText();
                lags.push_back(lag.lagMs);
            }
            usleep(200000);
        }
        return lags;
    }

    CLoopback m_loop;
};

}  // namespace rmtest

#endif
