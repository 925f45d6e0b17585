// Raw IR on the kernel's own rc-core, in the kernel VM: frames no enabled
// decoder takes, sent as pulses through rc-loopback, shown by the real
// tool as codes of their shape; a frame a decoder takes as its scancode.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <set>
#include <thread>

#include "KernelTest.h"
#include "RawFrames.h"

namespace {

using rmtest::CKernelTool;
using rmtest::Ms;
using rmtest::NowNs;

class RcKernelRaw : public rmtest::CKernelTest
{
protected:
    // The receiver's time-out now, in ns.
    uint64_t Timeout() const
    {
        const int fd = open(m_loop.LircNode().c_str(), O_RDONLY | O_CLOEXEC);
        uint32_t us = 0;
        if (fd >= 0)
        {
            ioctl(fd, _IOR('i', 0x24, uint32_t), &us);
            close(fd);
        }
        return static_cast<uint64_t>(us) * 1000u;
    }

    // The extended codes shown from line nFrom on, empty ones left out.
    static std::vector<std::string> Shown(CKernelTool& tool, size_t nFrom)
    {
        std::vector<std::string> shown;
        const std::vector<rmtest::SToolLine> lines = tool.Lines();
        for (size_t i = nFrom; i < lines.size(); ++i)
            if (!lines[i].bStderr && lines[i].text.rfind("Extended code: ", 0) == 0)
                shown.push_back(lines[i].text.substr(15));
        return shown;
    }

    // One press: the frame sent, its code shown, then the fields empty.
    std::string Press(CKernelTool& tool, const std::vector<uint32_t>& us)
    {
        const size_t nFrom = tool.LineCount();
        EXPECT_TRUE(m_loop.SendPulses(us));
        size_t nUp = 0;
        EXPECT_NE(0u, tool.WaitLine("Extended code:", nFrom, 3000, &nUp)) << tool.AllText();
        const std::vector<std::string> shown = Shown(tool, nFrom);
        EXPECT_EQ(1u, shown.size()) << tool.AllText();
        return shown.empty() ? "" : shown[0];
    }
};

// A remote no decoder knows (a 3 ms header, 24 bits), each duration off by
// up to 15%: every press of a key the same code, three keys three codes,
// with decoders enabled that do not take it; and the user told once that
// no decoder knows it, with its coding.
TEST_F(RcKernelRaw, EachKeyOfAnUnknownRemoteShowsOneCodeOfItsOwn)
{
    ASSERT_TRUE(m_loop.SetProtocols("nec +sony +jvc"));
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY);
    Opened(tool);
    std::mt19937 jitter(18);
    std::set<std::string> codes;
    for (uint32_t key : rmtest::kMadeUpKeys)
    {
        std::set<std::string> pressed;
        for (int nPress = 0; nPress < 20; ++nPress)
            pressed.insert(Press(tool, rmtest::MadeUpFrame(key, &jitter)));
        std::printf("made-up remote: key %06X shows %s on all 20 presses\n", key, pressed.begin()->c_str());
        EXPECT_EQ(1u, pressed.size()) << "key " << key;
        codes.insert(*pressed.begin());
    }
    EXPECT_EQ(3u, codes.size());
    const std::string all = tool.AllText();
    EXPECT_EQ(std::string::npos, all.find("RC Code: ")) << "no code: " << all;
    const std::string hint = "a protocol that no decoder here or in the kernel knows";
    EXPECT_NE(std::string::npos, all.find(hint)) << all;
    EXPECT_NE(std::string::npos, all.find("Their coding: pulse distance")) << all;
    EXPECT_EQ(all.find(hint), all.rfind(hint)) << "once: " << all;
    EXPECT_EQ(0, tool.Stop(SIGTERM, 5000));
}

// NEC pulses with NEC off are decoded here, the protocol named once with
// the command that has the kernel decode it; with NEC on, the kernel's
// scancode shows the same, and nothing else ever in between.
TEST_F(RcKernelRaw, AnNecFrameIsDecodedHereUntilNecIsEnabledThenByTheKernel)
{
    const std::vector<uint32_t> nec = rmtest::NecPulses(0x04, 0xFB, 0x08, 0xF7);
    ASSERT_TRUE(m_loop.SetProtocols("rc-5"));
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY);
    Opened(tool);
    EXPECT_EQ("04FB08F7", Press(tool, nec));
    EXPECT_NE(0u, tool.WaitLine("RC Code: 8", 0, 0)) << tool.AllText();
    EXPECT_NE("", tool.WaitLineContaining("NEC frames come, which the kernel is not decoding", 3000)) << tool.AllText();
    EXPECT_NE("", tool.WaitLineContaining("echo +nec | sudo tee " + m_loop.SysDir() + "/protocols", 0))
        << tool.AllText();
    ASSERT_TRUE(m_loop.SetProtocols("+nec"));
    const size_t nFrom = tool.LineCount();
    for (int nPress = 0; nPress < 5; ++nPress)
    {
        const size_t nPressFrom = tool.LineCount();
        ASSERT_TRUE(m_loop.SendPulses(nec));
        size_t nAt = 0;
        ASSERT_NE(0u, tool.WaitLine("Extended code: 04FB08F7", nPressFrom, 3000, &nAt)) << tool.AllText();
        ASSERT_NE(0u, tool.WaitLine("Extended code:", nAt + 1, 3000)) << tool.AllText();
    }
    usleep(300000);
    std::vector<std::string> expected;
    for (int nPress = 0; nPress < 5; ++nPress)
        expected.insert(expected.end(), {"04FB08F7", ""});
    std::vector<std::string> shown;
    for (size_t i = nFrom; i < tool.Lines().size(); ++i)
        if (tool.Lines()[i].text.rfind("Extended code:", 0) == 0)
            shown.push_back(tool.Lines()[i].text.size() > 15 ? tool.Lines()[i].text.substr(15) : "");
    EXPECT_EQ(expected, shown) << tool.AllText();
    EXPECT_NE(0u, tool.WaitLine("RC Code: 8", nFrom, 0)) << tool.AllText();
    EXPECT_EQ(0, tool.Stop(SIGTERM, 5000));
}

// A key held by its frame sent again every 100 ms: one press, up within a
// poll and 10 ms of the last frame's end plus 125 ms (which is also the
// receiver's time-out with no decoder enabled).
TEST_F(RcKernelRaw, AHeldUnknownKeyIsOnePressReleasedATimeOutAfterItsLastFrame)
{
    ASSERT_TRUE(m_loop.SetProtocols("none"));
    const uint64_t timeout = Timeout();
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY);
    Opened(tool);
    std::mt19937 jitter(5);
    std::vector<double> lags;
    for (int nTrial = 0; nTrial < 5; ++nTrial)
    {
        const size_t nFrom = tool.LineCount();
        const uint64_t start = NowNs();
        uint64_t lastEnd = 0;
        for (int nFrame = 0; nFrame < 8; ++nFrame)
        {
            rmtest::SleepUntilNs(start + Ms(100) * static_cast<uint64_t>(nFrame));
            ASSERT_TRUE(m_loop.SendPulses(rmtest::MadeUpFrame(rmtest::kMadeUpKeys[nTrial % 3], &jitter)));
            lastEnd = NowNs();  // the write returns after the frame's air time
        }
        size_t nUp = 0;
        const uint64_t up = tool.WaitLine("Extended code:", nFrom, 3000, &nUp);
        ASSERT_NE(0u, up) << tool.AllText();
        EXPECT_EQ(1u, Shown(tool, nFrom).size()) << "one press: " << tool.AllText();
        lags.push_back(static_cast<double>(static_cast<int64_t>(up - lastEnd - timeout)) / 1e6);
        usleep(300000);
    }
    std::sort(lags.begin(), lags.end());
    std::printf("held unknown key (time-out %.1f ms): up after the last frame's end plus the time-out: "
                "%.1f / %.1f / %.1f ms (min / median / max of %zu)\n",
                static_cast<double>(timeout) / 1e6, lags.front(), lags[lags.size() / 2], lags.back(), lags.size());
    EXPECT_LE(-15.0, lags.front()) << "half a poll early at the most, less its header";
    EXPECT_GE(30.0, lags[lags.size() / 2]);
    EXPECT_GE(45.0, lags.back()) << "a busy emulated machine delays a poll now and then";
    EXPECT_EQ(0, tool.Stop(SIGTERM, 5000));
}

// Raw noise sent for two seconds, the library asked all along: no call is
// held past a bound, and once the noise stops no code is left shown.
TEST_F(RcKernelRaw, ANoiseFloodHoldsNoCallAndLeavesNoCode)
{
    ASSERT_TRUE(m_loop.SetProtocols("nec +rc-5"));
    void* hLibrary = dlopen(RM_RCCORE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, hLibrary) << dlerror();
    auto pfnGetCardCount = reinterpret_cast<int (*)()>(dlsym(hLibrary, "GetCardCount"));
    auto pfnOpenCard = reinterpret_cast<int (*)(int)>(dlsym(hLibrary, "OpenCard"));
    auto pfnGetRemoteCodeEx = reinterpret_cast<unsigned (*)()>(dlsym(hLibrary, "GetRemoteCodeEx"));
    auto pfnUnInit = reinterpret_cast<int (*)()>(dlsym(hLibrary, "UnInit"));
    pfnGetCardCount();
    ASSERT_EQ(1, pfnOpenCard(m_loop.Card()));
    std::atomic<bool> bDone(false);
    std::thread noise([&] {
        std::mt19937 random(9);
        std::uniform_int_distribution<uint32_t> us(60, 2500);
        const uint64_t until = NowNs() + Ms(2000);
        while (NowNs() < until)
        {
            std::vector<uint32_t> burst(801);
            for (uint32_t& d : burst)
                d = us(random);
            m_loop.SendPulses(burst);
        }
        bDone = true;
    });
    double longestMs = 0;
    int nCalls = 0;
    while (!bDone)
    {
        const uint64_t before = NowNs();
        pfnGetRemoteCodeEx();
        longestMs = std::max(longestMs, static_cast<double>(NowNs() - before) / 1e6);
        ++nCalls;
        usleep(20000);
    }
    noise.join();
    usleep(static_cast<useconds_t>(Timeout() / 1000u) + 200000);
    const unsigned after = pfnGetRemoteCodeEx();
    pfnUnInit();
    dlclose(hLibrary);
    std::printf("raw noise flood: longest call %.2f ms of %d\n", longestMs, nCalls);
    EXPECT_GT(10.0, longestMs);
    EXPECT_EQ(0u, after);
}

}  // namespace
