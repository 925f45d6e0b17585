// The real executable on the receiver library over the kernel's own
// rc-core, in the kernel VM (scripts/vm/run.sh): rc-loopback is the card,
// and what the tool shows is set beside what the kernel itself did.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "KernelTest.h"

namespace {

using rmtest::CKernelKeys;
using rmtest::CKernelTool;
using rmtest::SReleaseLag;

class RcKernel : public rmtest::CKernelTest
{};

// Every frame the kernel can encode and its decoders take back, each shown
// once and released before the next.
TEST_F(RcKernel, EveryProtocolTheKernelEncodesShowsItsCodeAndFrame)
{
    const rmtest::SExpected table[] = {
        {"nec", 9, 0x0408, "8", "04FB08F7"},         {"nec", 9, 0x04FF, "", "04FBFF00"},
        {"nec", 10, 0x123456, "86", "123456A9"},     {"nec", 11, 0x87E5FE2C, "44", "E5872CFE"},
        {"rc-5", 2, 0x1E0B, "11", "00001E0B"},       {"jvc", 5, 0x1234, "52", "00001234"},
        {"sony", 6, 0x01001A, "26", "0001001A"},     {"sony", 7, 0x42001A, "26", "0042001A"},
        {"sony", 8, 0x01021A, "26", "0001021A"},     {"sanyo", 12, 0x0101AB, "171", "000101AB"},
        {"sharp", 20, 0x1E2A, "42", "00001E2A"},     {"rc-6", 15, 0x1234, "52", "00001234"},
        {"rc-6", 16, 0xC1234, "52", "000C1234"},     {"rc-6", 17, 0xC12345, "69", "00C12345"},
        {"rc-6", 18, 0x12345678, "120", "12345678"}, {"rc-6", 19, 0x800F040C, "12", "800F040C"},
    };
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY);
    Opened(tool);
    for (const rmtest::SExpected& row : table)
        ExpectShownThenReleased(tool, row);
    EXPECT_EQ(0, tool.Stop(SIGTERM, 5000));
}

// Held keys as remotes send them: NEC with its repeat codes, RC-5 and RC-6
// with their whole frames again; each is one press, released within a poll
// of the kernel's own key-up.
TEST_F(RcKernel, AHeldKeyIsOnePressReleasedWithinAPollOfTheKernelsKeyUp)
{
    CKernelKeys keys(m_loop.EventNode());
    ASSERT_TRUE(keys.Map(0x0408, KEY_1) && keys.Map(0x1E0B, KEY_2) && keys.Map(0x800F040C, KEY_3));
    ASSERT_TRUE(m_loop.SetProtocols("nec +rc-5 +rc-6"));
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY);
    Opened(tool);
    for (const SHold& hold : kHolds)
        rmtest::ExpectReleasedWithTheKernel(ReleaseLags(tool, keys, hold.pszPress, [&] { return Hold(hold); }),
                                            std::string("tool, ") + hold.pszWhat);
    EXPECT_EQ(0, tool.Stop(SIGTERM, 5000));
}

// The library alone, asked every millisecond from a thread of its own: when
// it lets a key go, to the millisecond, beside the kernel's key-up.
class CLibraryPoller
{
public:
    explicit CLibraryPoller(int nCard)
    {
        m_hLibrary = dlopen(RM_RCCORE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (m_hLibrary == nullptr)
            return;
        auto pfnGetCardCount = reinterpret_cast<int (*)()>(dlsym(m_hLibrary, "GetCardCount"));
        auto pfnOpenCard = reinterpret_cast<int (*)(int)>(dlsym(m_hLibrary, "OpenCard"));
        m_pfnGetRemoteCodeEx = reinterpret_cast<unsigned (*)()>(dlsym(m_hLibrary, "GetRemoteCodeEx"));
        m_pfnUnInit = reinterpret_cast<int (*)()>(dlsym(m_hLibrary, "UnInit"));
        pfnGetCardCount();
        m_bOpened = pfnOpenCard(nCard) != 0;
        m_thread = std::thread([this] { Poll(); });
    }
    ~CLibraryPoller()
    {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_hLibrary == nullptr)
            return;
        m_pfnUnInit();
        dlclose(m_hLibrary);
    }
    CLibraryPoller(const CLibraryPoller&) = delete;
    CLibraryPoller& operator=(const CLibraryPoller&) = delete;

    bool Opened() const { return m_bOpened; }
    int Presses()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nPresses;
    }
    // The moment of its last release after release number n (from 0); 0
    // when none came in time.
    uint64_t LastReleaseAfter(size_t n, int nTimeoutMs)
    {
        const uint64_t deadline = rmtest::NowNs() + rmtest::Ms(static_cast<uint64_t>(nTimeoutMs));
        do
        {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_releases.size() > n)
                    return m_releases.back();
            }
            usleep(2000);
        } while (rmtest::NowNs() < deadline);
        return 0;
    }
    size_t Releases()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_releases.size();
    }

private:
    void Poll()
    {
        unsigned nLast = 0;
        while (!m_bStop)
        {
            const unsigned nCodeEx = m_pfnGetRemoteCodeEx();
            if ((nCodeEx == 0) != (nLast == 0))
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (nCodeEx == 0)
                    m_releases.push_back(rmtest::NowNs());
                else
                    ++m_nPresses;
            }
            nLast = nCodeEx;
            usleep(1000);
        }
    }

    void* m_hLibrary = nullptr;
    unsigned (*m_pfnGetRemoteCodeEx)() = nullptr;
    int (*m_pfnUnInit)() = nullptr;
    bool m_bOpened = false;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::mutex m_mutex;
    std::vector<uint64_t> m_releases;
    int m_nPresses = 0;
};

// Without the poll's 20 ms: the library's key-up is the kernel's.
TEST_F(RcKernel, TheLibraryLetsAKeyGoWhenTheKernelDoes)
{
    CKernelKeys keys(m_loop.EventNode());
    ASSERT_TRUE(keys.Map(0x0408, KEY_1) && keys.Map(0x1E0B, KEY_2) && keys.Map(0x800F040C, KEY_3));
    ASSERT_TRUE(m_loop.SetProtocols("nec +rc-5 +rc-6"));
    CLibraryPoller library(m_loop.Card());
    ASSERT_TRUE(library.Opened());
    for (const SHold& hold : kHolds)
    {
        std::vector<double> lags;
        for (int nTrial = 0; nTrial < 10 && lags.size() < 5; ++nTrial)
        {
            SCOPED_TRACE(std::string(hold.pszWhat) + ", trial " + std::to_string(nTrial));
            const size_t nReleases = library.Releases();
            const int nLibraryPresses = library.Presses();
            const int nKernelPresses = keys.Presses();
            const double lateMs = Hold(hold);
            ASSERT_LE(0, lateMs);
            const uint64_t kernelUp = keys.LastRelease();
            const uint64_t libraryUp = library.LastReleaseAfter(nReleases, 3000);
            ASSERT_TRUE(libraryUp != 0 && kernelUp != 0);
            // Only a hold the machine did not disturb counts (see ReleaseLags).
            if (lateMs < 5 && keys.Presses() == nKernelPresses + 1)
            {
                EXPECT_EQ(nLibraryPresses + 1, library.Presses()) << "one press, as the kernel saw";
                lags.push_back((static_cast<double>(libraryUp) - static_cast<double>(kernelUp)) / 1e6);
            }
            usleep(200000);
        }
        rmtest::ExpectReleasedWithTheKernel(lags, std::string("library, ") + hold.pszWhat, 8, 5);
    }
}

// Without a lirc node the input node is read: the scancode as it is.
TEST_F(RcKernel, TheInputNodePathShowsTheScancodeAndReleasesIt)
{
    const std::string sys = "/tmp/rm-vm-sys";
    const std::string event = sys + "/rc0/input0/" + m_loop.EventSysDir().substr(m_loop.EventSysDir().rfind('/') + 1);
    std::filesystem::create_directories(event);
    ASSERT_TRUE(m_loop.SetProtocols("nec"));
    std::ofstream(sys + "/rc0/protocols") << m_loop.Protocols() << "\n";
    std::ifstream uevent(m_loop.EventSysDir() + "/uevent");
    std::ofstream(event + "/uevent") << uevent.rdbuf();
    rmtest::SToolOptions options;
    options.env = {"TAVRIXRC_RC_SYSFS=" + sys};
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY, options);
    ASSERT_TRUE(tool.LogHas("OpenCard(0) -> 1", 10000)) << tool.AllText();
    const size_t nFrom = tool.LineCount();
    ASSERT_LE(0, m_loop.HoldNec(0x04, 0x08, 3));
    EXPECT_TRUE(rmtest::ShowsAndReleases(tool, nFrom, "Extended code: 00000408")) << tool.AllText();
    EXPECT_EQ(0, tool.Stop(SIGTERM, 5000));
    std::filesystem::remove_all(sys);
}

// Unplugged, idle and with a key held: the fields empty, one line says so,
// the node is closed, the tool does not spin, and it ends cleanly.
TEST_F(RcKernel, RemovingTheReceiverEmptiesTheFieldsAndClosesItsNode)
{
    for (const bool bHeld : {false, true})
    {
        SCOPED_TRACE(bHeld ? "a key held" : "idle");
        ASSERT_TRUE(m_loop.Load());
        ASSERT_TRUE(m_loop.SetProtocols("nec"));
        CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY);
        Opened(tool);
        if (bHeld)
        {
            ASSERT_LE(0, m_loop.HoldNec(0x04, 0x08, 1));
            ASSERT_NE(0u, tool.WaitLine("Extended code: 04FB08F7", 0, 3000)) << tool.AllText();
        }
        const size_t nFrom = tool.LineCount();
        ASSERT_TRUE(m_loop.Unload());
        if (bHeld)
        {
            EXPECT_NE(0u, tool.WaitLine("Extended code:", nFrom, 1000)) << tool.AllText();
        }
        EXPECT_NE("", tool.WaitLineContaining("gone", 2000)) << tool.AllText();
        const long nTicks = tool.CpuTicks();
        usleep(1000000);
        EXPECT_GE(10, tool.CpuTicks() - nTicks) << "CPU time over a second, in ticks";
        int nGone = 0;
        for (const rmtest::SToolLine& line : tool.Lines())
            nGone += line.text.find("gone") != std::string::npos;
        EXPECT_EQ(1, nGone) << tool.AllText();
        for (const std::string& file : tool.OpenFiles())
            EXPECT_EQ(std::string::npos, file.find("lirc")) << file;
        EXPECT_EQ(0, tool.Stop(SIGTERM, 5000));
        EXPECT_EQ("UnInit", tool.LastLogLine());
    }
    ASSERT_TRUE(m_loop.Load());
}

// A user without rights on the node learns why, then "Tuner not found.".
TEST_F(RcKernel, AnUnprivilegedUserIsToldWhyAndThatNoTunerWasFound)
{
    rmtest::SToolOptions options;
    options.uid = 65534;
    options.gid = 65534;
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY, options);
    EXPECT_NE("", tool.WaitLineContaining("Tuner not found.", 10000)) << tool.AllText();
    const std::string why = tool.WaitLineContaining("Permission denied", 1000);
    EXPECT_NE(std::string::npos, why.find(m_loop.LircNode())) << tool.AllText();
    EXPECT_LE(0, tool.Wait(10000));
    EXPECT_EQ("UnInit", tool.LastLogLine());
}

// NEC off when the tool starts, then enabled as the tool's hint says: its
// keys show from then on.
TEST_F(RcKernel, NecEnabledWhileTheToolRunsIsShownFromThenOn)
{
    ASSERT_TRUE(m_loop.SetProtocols("none"));
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY);
    Opened(tool);
    ASSERT_TRUE(m_loop.SetProtocols("+nec"));
    const size_t nFrom = tool.LineCount();
    ASSERT_LE(0, m_loop.HoldNec(0x04, 0x08, 3));
    EXPECT_TRUE(rmtest::ShowsAndReleases(tool, nFrom, "Extended code: 04FB08F7")) << tool.AllText();
    EXPECT_EQ(0, tool.Stop(SIGTERM, 5000));
}

// Thousands of frames at once, more than the kernel queues for a reader:
// afterwards the next key is shown and released, nothing older comes back,
// and the tool's memory has not grown.
TEST_F(RcKernel, AFloodOfFramesLeavesNothingStaleAndNoMemoryBehind)
{
    ASSERT_TRUE(m_loop.SetProtocols("nec"));
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY);
    Opened(tool);
    const long nRssBefore = tool.RssKib();
    const int kSenders = 32;
    const int kFramesEach = 100;
    std::vector<std::thread> senders;
    for (int nSender = 0; nSender < kSenders; ++nSender)
        senders.emplace_back([this, nSender] {
            const int fd = open(m_loop.LircNode().c_str(), O_RDWR | O_CLOEXEC);
            uint32_t nMode = rmtest::CLoopback::kModeScancode;
            ioctl(fd, _IOW('i', 0x11, uint32_t), &nMode);
            for (int i = 0; i < kFramesEach; ++i)
                rmtest::WriteAll(
                    fd, rmtest::Record(0, 0, 10, 0x100000u + static_cast<uint64_t>(nSender * kFramesEach + i)));
            close(fd);
        });
    for (std::thread& sender : senders)
        sender.join();
    // Released once the last of them has had its key-up time.
    usleep(600000);
    const size_t nFrom = tool.LineCount();
    ASSERT_TRUE(m_loop.SendScancode(9, 0x0408));
    size_t nAt = 0;
    ASSERT_NE(0u, tool.WaitLine("Extended code: 04FB08F7", nFrom, 3000, &nAt)) << tool.AllText();
    ASSERT_NE(0u, tool.WaitLine("Extended code:", nAt + 1, 3000)) << tool.AllText();
    usleep(500000);
    const std::vector<std::string> after = tool.FieldLines(nFrom);
    EXPECT_EQ((std::vector<std::string>{"RC Code: 8", "Extended code: 04FB08F7", "RC Code:", "Extended code:"}), after);
    const long nRssAfter = tool.RssKib();
    std::printf("kernel vs tool: %d frames sent, the tool showed %zu lines; RSS %ld KiB before, %ld KiB after\n",
                kSenders * kFramesEach, nFrom, nRssBefore, nRssAfter);
    EXPECT_GE(256, nRssAfter - nRssBefore);
    EXPECT_EQ(0, tool.Stop(SIGTERM, 5000));
}

}  // namespace
