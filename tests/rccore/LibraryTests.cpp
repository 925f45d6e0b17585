// The receiver library as the tool binds it, over a fake tree: which cards
// there are and which open, what a held key reads, bursts, unplugs, and the
// descriptors it leaves behind. The fake node's answers to the library's
// ioctls come from the shim linked into this program.
#include <gtest/gtest.h>

#include <dirent.h>
#include <dlfcn.h>
#include <sys/wait.h>

#include <sys/ioctl.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "FakeReceivers.h"
#include "RawFrames.h"

extern "C" {
#include "rc_frame.h"
#include "rc_sysfs.h"
}

#ifndef RM_RCCORE_LIBRARY
#error "RM_RCCORE_LIBRARY: the receiver library's path"
#endif

namespace {

using rmtest::Ms;
using rmtest::NowNs;
using rmtest::Record;

int OpenDescriptors()
{
    int n = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (readdir(dir) != nullptr)
        ++n;
    closedir(dir);
    return n;
}

class RcLibrary : public testing::Test
{
protected:
    void SetUp() override
    {
        unsetenv("TAVRIXRC_FAKE_NODE_REFUSE");
        unsetenv("TAVRIXRC_FAKE_NODE_TIMEOUT_US");
        m_tree.Export();
        m_hLibrary = dlopen(RM_RCCORE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, m_hLibrary) << dlerror();
        m_pfnGetCardCount = reinterpret_cast<int (*)()>(dlsym(m_hLibrary, "GetCardCount"));
        m_pfnOpenCard = reinterpret_cast<int (*)(int)>(dlsym(m_hLibrary, "OpenCard"));
        m_pfnGetRemoteCode = reinterpret_cast<int (*)()>(dlsym(m_hLibrary, "GetRemoteCode"));
        m_pfnGetRemoteCodeEx = reinterpret_cast<unsigned (*)()>(dlsym(m_hLibrary, "GetRemoteCodeEx"));
        m_pfnUnInit = reinterpret_cast<int (*)()>(dlsym(m_hLibrary, "UnInit"));
        ASSERT_TRUE(m_pfnGetCardCount && m_pfnOpenCard && m_pfnGetRemoteCode && m_pfnGetRemoteCodeEx && m_pfnUnInit);
    }
    void TearDown() override
    {
        if (m_hLibrary == nullptr)
            return;
        m_pfnUnInit();
        dlclose(m_hLibrary);
    }

    // The card count, then OpenCard(nIndex), as the tool's selection does.
    int Select(int nIndex)
    {
        m_pfnGetCardCount();
        return m_pfnOpenCard(nIndex);
    }

    // What fn writes to standard error.
    template <typename Fn>
    static std::string StderrOf(Fn fn)
    {
        std::fflush(stderr);
        FILE* pCatch = std::tmpfile();
        const int nSaved = dup(STDERR_FILENO);
        dup2(fileno(pCatch), STDERR_FILENO);
        fn();
        std::fflush(stderr);
        dup2(nSaved, STDERR_FILENO);
        close(nSaved);
        std::rewind(pCatch);
        char buffer[2048];
        const size_t n = std::fread(buffer, 1, sizeof buffer, pCatch);
        std::fclose(pCatch);
        return std::string(buffer, n);
    }

    // OpenCard's answer with standard error caught; the lines go to *pWhy.
    int OpenCatchingStderr(int nIndex, std::string* pWhy)
    {
        int nOpened = 0;
        *pWhy = StderrOf([&] { nOpened = Select(nIndex); });
        return nOpened;
    }

    std::string Answers() const
    {
        char sz[32];
        const int nCode = m_pfnGetRemoteCode();
        std::snprintf(sz, sizeof sz, "%d %08X", nCode, m_pfnGetRemoteCodeEx());
        return sz;
    }

    rmtest::CFakeReceivers m_tree;
    void* m_hLibrary = nullptr;
    int (*m_pfnGetCardCount)() = nullptr;
    int (*m_pfnOpenCard)(int) = nullptr;
    int (*m_pfnGetRemoteCode)() = nullptr;
    unsigned (*m_pfnGetRemoteCodeEx)() = nullptr;
    int (*m_pfnUnInit)() = nullptr;
};

TEST_F(RcLibrary, CardsAreTheRcDevicesInNumericOrderEachReadThroughItsOwnNode)
{
    const int fdTen = m_tree.AddLirc(10, 3);
    const int fdTwo = m_tree.AddLirc(2, 7);
    m_tree.AddBare(0);
    mkdir((m_tree.Sysfs() + "/rcx").c_str(), 0755);
    mkdir((m_tree.Sysfs() + "/lirc1").c_str(), 0755);
    ASSERT_EQ(3, m_pfnGetCardCount());

    // rc0 has no node at all; the user is told why it is refused.
    std::string why;
    EXPECT_EQ(0, OpenCatchingStderr(0, &why));
    EXPECT_NE(std::string::npos, why.find("rc0: refused")) << why;
    EXPECT_NE(std::string::npos, why.find("no lirc node")) << why;

    ASSERT_EQ(1, Select(1));  // rc2 before rc10
    ASSERT_TRUE(rmtest::Send(fdTen, Record(NowNs(), 0, rmtest::kProtoNec, 0x0102)));
    ASSERT_TRUE(rmtest::Send(fdTwo, Record(NowNs(), 0, rmtest::kProtoNec, 0x0408)));
    EXPECT_EQ("8 04FB08F7", Answers());
    ASSERT_EQ(1, Select(2));
    EXPECT_EQ("2 01FE02FD", Answers());
    EXPECT_EQ(0, Select(3));
    EXPECT_EQ(0, Select(-1));
}

TEST_F(RcLibrary, ACardIsRefusedWhenItsNodeCannotBeReadInScancodeMode)
{
    m_tree.AddLirc(0, 0);
    m_tree.AddLirc(1, 1);
    unlink(m_tree.NodePath("lirc1").c_str());
    std::string why;

    setenv("TAVRIXRC_FAKE_NODE_REFUSE", "1", 1);
    EXPECT_EQ(0, OpenCatchingStderr(0, &why));
    EXPECT_NE(std::string::npos, why.find("rc0: refused: no scancode mode on " + m_tree.NodePath("lirc0"))) << why;
    unsetenv("TAVRIXRC_FAKE_NODE_REFUSE");

    EXPECT_EQ(0, OpenCatchingStderr(1, &why));
    EXPECT_NE(std::string::npos, why.find("No such file or directory")) << why;

    // Permission denied: as a user without rights on the node (root has
    // them all, so the check runs as nobody). The line names the one step
    // that fixes it: the node's group joined and a new login, or, with the
    // package's udev rule installed and a desktop seat, the rule applied.
    const std::string rules = m_tree.Root() + "/rules.d";
    mkdir(rules.c_str(), 0755);
    std::ofstream(rules + "/70-remotemonitor-lirc-uaccess.rules") << "\n";
    const bool bAsNobody = getuid() == 0;
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0)
    {
        chmod(m_tree.NodePath("lirc0").c_str(), 0);
        if (bAsNobody && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        unsetenv("XDG_SEAT");
        std::string whyChild;
        if (OpenCatchingStderr(0, &whyChild) != 0 || whyChild.find("Permission denied; ") == std::string::npos ||
            (bAsNobody &&
             whyChild.find("sudo usermod -aG root nobody, then log out and in again") == std::string::npos))
            _exit(1);
        setenv("TAVRIXRC_RC_RULES", rules.c_str(), 1);
        setenv("XDG_SEAT", "seat0", 1);
        _exit(OpenCatchingStderr(0, &whyChild) == 0 &&
                      whyChild.find("replug the receiver, or run sudo udevadm trigger") != std::string::npos
                  ? 0
                  : 2);
    }
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    // A card decoding some protocol opens without a word: it may well be
    // the user's. One decoding none is told how to add NEC to what it has.
    m_tree.AddLirc(2, 2, "[rc-5] nec rc-6");
    EXPECT_EQ(1, OpenCatchingStderr(2, &why));
    EXPECT_EQ("", why);
    m_tree.AddLirc(3, 3, "rc-5 nec rc-6 [lirc]");
    EXPECT_EQ(1, OpenCatchingStderr(3, &why));
    EXPECT_NE(std::string::npos, why.find("echo +nec | sudo tee " + m_tree.Sysfs() + "/rc3/protocols")) << why;
}

TEST_F(RcLibrary, WithoutALircNodeTheEventNodeGivesTheScancodeAsItIs)
{
    const int fd = m_tree.AddEvent(0, 4, 6);
    ASSERT_EQ(1, Select(0));
    EXPECT_EQ("255 00000000", Answers());
    ASSERT_TRUE(rmtest::WriteAll(fd, rmtest::Event(NowNs(), 4, 4, 0x80FF1234) + rmtest::Event(NowNs(), 0, 0, 0)));
    EXPECT_EQ("52 80FF1234", Answers());
}

// The event node stands in for a lirc node that cannot be opened too. A
// key the kernel maps is up when the kernel releases it, one it does not map
// once no scancode has come for the longest repeat period and time-out.
TEST_F(RcLibrary, TheEventNodeStandsInForALircNodeThatCannotBeOpened)
{
    using rmtest::Event;
    m_tree.AddLirc(0, 0);
    const int fd = m_tree.AddEvent(0, 4, 6);
    unlink(m_tree.NodePath("lirc0").c_str());
    std::string why;
    ASSERT_EQ(1, OpenCatchingStderr(0, &why));
    EXPECT_NE(std::string::npos, why.find("cannot open " + m_tree.NodePath("lirc0"))) << why;
    EXPECT_NE(std::string::npos, why.find("reading " + m_tree.NodePath("input/event6") + " instead")) << why;

    const uint64_t pressed = NowNs() - Ms(900);
    ASSERT_TRUE(rmtest::WriteAll(fd, Event(pressed, 4, 4, 0x0408) + Event(pressed, 1, 0x74, 1) +
                                         Event(pressed, 0, 0, 0) + Event(pressed + Ms(500), 4, 4, 0x0408)));
    EXPECT_EQ("8 00000408", Answers());
    ASSERT_TRUE(rmtest::WriteAll(fd, Event(NowNs(), 1, 0x74, 0) + Event(NowNs(), 0, 0, 0)));
    EXPECT_EQ("255 00000000", Answers());

    ASSERT_TRUE(rmtest::WriteAll(fd, Event(NowNs() - Ms(200), 4, 4, 0x0409) + Event(NowNs(), 0, 0, 0)));
    EXPECT_EQ("9 00000409", Answers());
    ASSERT_TRUE(rmtest::WriteAll(fd, Event(NowNs() - Ms(250), 4, 4, 0x040A) + Event(NowNs(), 0, 0, 0)));
    EXPECT_EQ("255 00000000", Answers());
}

// The tool reads the code, then the extended code: a record that comes
// between the two is the next poll's, for both fields at once.
TEST_F(RcLibrary, TheCodeAndTheExtendedCodeReadTogetherAgree)
{
    const int fd = m_tree.AddLirc(0, 0);
    ASSERT_EQ(1, Select(0));
    EXPECT_EQ(255, m_pfnGetRemoteCode());
    ASSERT_TRUE(rmtest::Send(fd, Record(NowNs(), 0, rmtest::kProtoNec, 0x0408)));
    EXPECT_EQ(0u, m_pfnGetRemoteCodeEx());
    EXPECT_EQ("8 04FB08F7", Answers());
}

TEST_F(RcLibrary, AKeyIsReleasedAfterTheKeyUpTimeOfItsOwnTimestamps)
{
    const int fd = m_tree.AddLirc(0, 0);
    ASSERT_EQ(1, Select(0));
    // Its last repeat came 250 ms ago: 110 + 125 ms have passed.
    const uint64_t now = NowNs();
    ASSERT_TRUE(rmtest::Send(fd, Record(now - Ms(350), 0, rmtest::kProtoNec32, 0x87E5FE2C) +
                                     Record(now - Ms(250), rmtest::kFlagRepeat, rmtest::kProtoNec32, 0x87E5FE2C)));
    EXPECT_EQ("255 00000000", Answers());
    ASSERT_TRUE(rmtest::Send(fd, Record(NowNs(), 0, rmtest::kProtoNec32, 0x87E5FE2C)));
    EXPECT_EQ("44 E5872CFE", Answers());

    // The receiver's time-out as it is when the records come: the kernel
    // changes it with the decoders enabled (NEC's 15.6 ms, a longer one).
    setenv("TAVRIXRC_FAKE_NODE_TIMEOUT_US", "15630", 1);
    ASSERT_TRUE(rmtest::Send(fd, Record(NowNs() - Ms(130), 0, rmtest::kProtoNec, 0x0408)));
    EXPECT_EQ("255 00000000", Answers());
    setenv("TAVRIXRC_FAKE_NODE_TIMEOUT_US", "500000", 1);
    ASSERT_TRUE(rmtest::Send(fd, Record(NowNs() - Ms(250), 1, rmtest::kProtoRc5, 0x1E0B)));  // toggle set
    EXPECT_EQ("11 00001E0B", Answers());
}

// The kernel queues 32 records per reader and drops the newest beyond: after
// a flood the last one kept is shown, and the next frame comes through.
TEST_F(RcLibrary, AFloodShowsTheLastRecordKeptThenTheNextFrame)
{
    const int fd = m_tree.AddLirc(0, 0);
    ASSERT_EQ(1, Select(0));
    std::string flood;
    const uint64_t now = NowNs();
    for (uint64_t i = 0; i < 600; ++i)
        flood += Record(now, 0, rmtest::kProtoNecx, 0x040000 + i);
    EXPECT_FALSE(rmtest::Send(fd, flood));
    EXPECT_EQ(31, m_pfnGetRemoteCode());
    ASSERT_TRUE(rmtest::Send(fd, Record(NowNs(), 0, rmtest::kProtoNec, 0x0408)));
    EXPECT_EQ("8 04FB08F7", Answers());
}

// Unplugged, the kernel's node answers ENODEV and a hang-up, idle or with
// records still queued (they are never handed out).
TEST_F(RcLibrary, AnUnpluggedReceiverReadsAsNoCodeAndItsNodeIsClosed)
{
    const int fd = m_tree.AddLirc(0, 0);
    const int fdQueued = m_tree.AddLirc(1, 1);
    const int nBefore = OpenDescriptors();
    ASSERT_EQ(1, Select(0));
    ASSERT_TRUE(rmtest::Send(fd, Record(NowNs(), 0, rmtest::kProtoNec, 0x0408)));
    EXPECT_EQ("8 04FB08F7", Answers());
    m_tree.Unplug(fd);
    EXPECT_EQ("255 00000000", Answers());
    EXPECT_EQ(nBefore - 1, OpenDescriptors());  // the test's own end is gone too
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(255, m_pfnGetRemoteCode());

    ASSERT_EQ(1, Select(1));
    ASSERT_TRUE(rmtest::Send(fdQueued, Record(NowNs(), 0, rmtest::kProtoNec, 0x0409)));
    m_tree.Unplug(fdQueued);
    EXPECT_EQ("255 00000000", Answers());
    EXPECT_EQ(nBefore - 2, OpenDescriptors());
}

// Standard error a pipe that nobody reads, and full: the line about the
// unplug is given up rather than waited for.
TEST_F(RcLibrary, AFullStandardErrorNeverHoldsACall)
{
    const int fd = m_tree.AddLirc(0, 0);
    ASSERT_EQ(1, Select(0));
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    const std::string page(4096, 'x');
    while (write(fds[1], page.data(), page.size()) > 0)
        ;
    fcntl(fds[1], F_SETFL, 0);
    std::fflush(stderr);
    const int nSaved = dup(STDERR_FILENO);
    dup2(fds[1], STDERR_FILENO);
    m_tree.Unplug(fd);
    auto answer = std::async(std::launch::async, [this] { return m_pfnGetRemoteCode(); });
    const bool bReturned = answer.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    dup2(nSaved, STDERR_FILENO);
    close(nSaved);
    close(fds[1]);
    char drain[4096];
    while (read(fds[0], drain, sizeof drain) > 0)
        ;
    close(fds[0]);
    EXPECT_TRUE(bReturned);
    EXPECT_EQ(255, answer.get());
}

std::string ShapeAnswer(const std::vector<uint32_t>& us)
{
    char sz[32];
    std::snprintf(sz, sizeof sz, "255 %08X", rmtest::ShapeCodeOf(us));
    return sz;
}

std::vector<uint32_t> Samples(const std::vector<uint32_t>& us)
{
    std::vector<uint32_t> samples;
    for (size_t i = 0; i < us.size(); ++i)
        samples.push_back(i % 2 == 0 ? rmtest::Pulse(us[i]) : rmtest::Space(us[i]));
    samples.push_back(rmtest::TimeoutReport(125000));
    return samples;
}

// A frame a decoder takes shows its scancode alone, the frame's shape
// never; one no decoder takes shows as its shape's code without a code,
// and the user is told once of its coding.
TEST_F(RcLibrary, AFrameNoDecoderTakesShowsItsShapeAndADecodedOneItsScancodeAlone)
{
    int fdRaw = -1;
    const int fd = m_tree.AddRawLirc(0, 0, "rc-5 [nec] rc-6 [lirc]", &fdRaw);
    ASSERT_EQ(1, Select(0));
    std::mt19937 jitter(7);
    std::string told;
    for (int nFrame = 0; nFrame < 2; ++nFrame)
    {
        ASSERT_TRUE(rmtest::Send(fd, Record(NowNs(), 0, rmtest::kProtoNec, 0x0408)));
        ASSERT_TRUE(rmtest::SendSamples(fdRaw, Samples(rmtest::MadeUpFrame(rmtest::kMadeUpKeys[1], &jitter))));
        for (int nPoll = 0; nPoll < 10; ++nPoll)
        {
            usleep(5000);
            told += StderrOf([&] { EXPECT_EQ("8 04FB08F7", Answers()); });
        }
    }
    usleep(300000);
    EXPECT_EQ("255 00000000", Answers());
    const auto shownOf = [&](const std::vector<uint32_t>& frame) {
        std::string shown = "255 00000000";
        EXPECT_TRUE(rmtest::SendSamples(fdRaw, Samples(frame)));
        for (int nPoll = 0; nPoll < 20 && shown == "255 00000000"; ++nPoll)
        {
            usleep(5000);
            told += StderrOf([&] { shown = Answers(); });
        }
        return shown;
    };
    const std::vector<uint32_t> key = rmtest::MadeUpFrame(rmtest::kMadeUpKeys[0], &jitter);
    EXPECT_EQ(ShapeAnswer(key), shownOf(key));
    EXPECT_EQ("", told) << "decoded frames are no news, and one frame could be noise";
    usleep(150000);
    EXPECT_EQ(ShapeAnswer(key), shownOf(rmtest::MadeUpFrame(rmtest::kMadeUpKeys[0], &jitter)));
    EXPECT_NE(std::string::npos, told.find("a protocol that no decoder here or in the kernel knows")) << told;
    told = StderrOf([&] { Answers(); });
    EXPECT_EQ("", told) << "said once";
}

// A protocol the kernel has no decoder for, decoded here: its codes, and
// the user told once that there is no decoder of the kernel's to enable,
// not a command to enable one.
TEST_F(RcLibrary, AProtocolTheKernelHasNoDecoderForShowsItsCodesAndNoCommandToEnableOne)
{
    int fdRaw = -1;
    m_tree.AddRawLirc(0, 0, "rc-5 [nec] rc-6 [lirc]", &fdRaw);
    ASSERT_EQ(1, Select(0));
    const struct
    {
        const char* pszName;
        std::vector<uint32_t> us;
        const char* pszShown;
    } cases[] = {
        {"Kaseikyo", rmtest::KaseikyoPulses(0x02, 0x20, 0x8, 0x00, 0x3D, 0xD), "61 2002003D"},
        {"Samsung36", rmtest::Samsung36Pulses(0x07, 0x07, 0x0, 0x02, 0xFD), "2 07070002"},
        {"RCA", rmtest::RcaPulses(0xF, 0x2A, 0x0, 0xD5), "42 00F2A0D5"},
    };
    const auto shownOf = [&](std::vector<uint32_t> us, std::string* pTold) {
        us.pop_back();  // the gap: the time-out report instead
        std::string shown = "255 00000000";
        EXPECT_TRUE(rmtest::SendSamples(fdRaw, Samples(us)));
        for (int nPoll = 0; nPoll < 40 && shown == "255 00000000"; ++nPoll)
        {
            usleep(5000);
            *pTold += StderrOf([&] { shown = Answers(); });
        }
        usleep(300000);  // up again
        *pTold += StderrOf([&] { Answers(); });
        return shown;
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        std::string told;
        EXPECT_EQ(c.pszShown, shownOf(c.us, &told));
        EXPECT_NE(std::string::npos,
                  told.find("rc0: " + std::string(c.pszName) + " frames come, which the kernel has no decoder for"))
            << told;
        EXPECT_EQ(std::string::npos, told.find("echo")) << told;
        told.clear();
        EXPECT_EQ(c.pszShown, shownOf(c.us, &told));
        EXPECT_EQ("", told) << "said once";
    }
}

// A held key of each, from a receiver that hands out its samples as they
// go with the short time-out of a decoder enabled: one press with its
// codes, held from frame to frame (Kaseikyo's come up to 160 ms apart,
// RCA's with 7 ms between), then up.
TEST_F(RcLibrary, AHeldKeyOfAProtocolTheKernelHasNoDecoderForIsOnePress)
{
    int fdRaw = -1;
    m_tree.AddRawLirc(0, 0, "rc-5 [nec] rc-6 [lirc]", &fdRaw);
    ASSERT_EQ(1, Select(0));
    const auto held = [](const std::vector<uint32_t>& frame, int nFrames) {
        std::vector<uint32_t> us;
        for (int i = 0; i < nFrames; ++i)
            us.insert(us.end(), frame.begin(), frame.end());
        us.pop_back();  // ending in a pulse
        return us;
    };
    const struct
    {
        const char* pszName;
        std::vector<uint32_t> us;
        const char* pszShown;
    } cases[] = {
        {"Kaseikyo, of 40 1s", held(rmtest::KaseikyoPulses(0xFF, 0xFF, 0xF, 0xFF, 0xFE, 0xF), 3), "254 FFFFFFFE"},
        {"Samsung36", held(rmtest::Samsung36Pulses(0x07, 0x07, 0x0, 0x02, 0xFD), 3), "2 07070002"},
        {"RCA", held(rmtest::RcaPulses(0xF, 0x2A, 0x0, 0xD5), 5), "42 00F2A0D5"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        setenv("TAVRIXRC_FAKE_NODE_TIMEOUT_US", "15600", 1);
        std::thread sender([&] { rmtest::SendAsItGoes(fdRaw, c.us, 15600); });
        std::vector<std::string> runs;  // each answer that differs from the one before
        std::string last = "255 00000000";
        const uint64_t until = NowNs() + Ms(900);
        StderrOf([&] {
            while (NowNs() < until)
            {
                usleep(10000);
                const std::string now = Answers();
                if (now != last)
                    runs.push_back(now);
                last = now;
            }
        });
        sender.join();
        EXPECT_EQ((std::vector<std::string>{c.pszShown, "255 00000000"}), runs);
    }
}

// Frames no enabled decoder takes, over both ways receivers deliver them
// (all at once as rc-loopback does; as they go, one sample at a time or in
// packets, the time-out report a time-out after the frame) and short and
// long time-outs: an NEC key shows its scancode, decoded here; a made-up
// remote's key its shape; a held Sony key (5 frames 45 ms apart) one press
// with one code. Each press is up again within a poll of what the key's
// kind allows.
TEST_F(RcLibrary, RawFramesShowOnEveryDeliveryAndTimeOut)
{
    int fdRaw = -1;
    m_tree.AddRawLirc(0, 0, "rc-5 nec rc-6 [lirc]", &fdRaw);
    ASSERT_EQ(1, Select(0));
    std::mt19937 jitter(29);
    std::vector<uint32_t> sony;
    for (int nFrame = 0; nFrame < 5; ++nFrame)
    {
        std::vector<uint32_t> frame = {2400, 600};
        for (int bit = 0; bit < 12; ++bit)
            frame.insert(frame.end(), {(0x095u >> bit) & 1 ? 1200u : 600u, 600u});
        uint32_t length = 0;
        for (uint32_t d : frame)
            length += d;
        frame.back() = 45000 - length + 600;
        sony.insert(sony.end(), frame.begin(), frame.end());
    }
    sony.pop_back();
    const std::vector<uint32_t> nec = rmtest::NecPulses(0x04, 0xFB, 0x08, 0xF7);
    const std::vector<uint32_t> madeUp = rmtest::MadeUpFrame(rmtest::kMadeUpKeys[0], &jitter, 0.1);
    struct
    {
        const char* pszWhat;
        const std::vector<uint32_t>* pUs;
        std::string shown;
    } const keys[] = {{"NEC", &nec, "8 04FB08F7"}, {"made-up", &madeUp, ShapeAnswer(madeUp)}, {"Sony", &sony, ""}};
    for (uint32_t timeoutUs : {125000u, 15600u})
        for (uint32_t burstUs : {~0u, 0u, 8000u})
            for (const auto& key : keys)
            {
                SCOPED_TRACE(std::string(key.pszWhat) + " time-out " + std::to_string(timeoutUs) + " burst " +
                             std::to_string(burstUs));
                setenv("TAVRIXRC_FAKE_NODE_TIMEOUT_US", std::to_string(timeoutUs).c_str(), 1);
                std::thread sender([&] {
                    std::vector<uint32_t> samples = Samples(*key.pUs);
                    samples.back() = rmtest::TimeoutReport(timeoutUs);
                    if (burstUs == ~0u)
                        rmtest::SendSamples(fdRaw, samples);
                    else
                        rmtest::SendAsItGoes(fdRaw, *key.pUs, timeoutUs, burstUs);
                });
                std::vector<std::string> runs;  // each answer that differs from the one before
                std::string last = "255 00000000";
                const uint64_t until = NowNs() + Ms(700);
                while (NowNs() < until)
                {
                    usleep(10000);
                    const std::string now = Answers();
                    if (now != last)
                        runs.push_back(now);
                    last = now;
                }
                sender.join();
                ASSERT_EQ(2u, runs.size()) << "one press, then up: " << testing::PrintToString(runs);
                if (!key.shown.empty())
                {
                    EXPECT_EQ(key.shown, runs[0]);
                }
                EXPECT_EQ("255 00000000", runs[1]);
            }
}

// Raw noise with no end: a poll takes in at most twice what the kernel
// queues for a reader (512 samples), and once it ends nothing stays shown.
TEST_F(RcLibrary, ARawFloodIsTakenInBoundedBitesAndLeavesNoCode)
{
    int fdRaw = -1;
    m_tree.AddRawLirc(0, 0, "rc-5 [nec] rc-6 [lirc]", &fdRaw);
    ASSERT_EQ(1, Select(0));
    std::mt19937 random(3);
    std::uniform_int_distribution<uint32_t> us(50, 3000);
    std::vector<uint32_t> noise;
    for (int i = 0; i < 8192; ++i)
        noise.push_back(i % 2 == 0 ? rmtest::Pulse(us(random)) : rmtest::Space(us(random)));
    ASSERT_TRUE(rmtest::SendSamples(fdRaw, noise));
    int nQueued = 0;
    Answers();
    ASSERT_EQ(0, ioctl(fdRaw, FIONREAD, &nQueued));
    EXPECT_EQ((8192 - 1024) * 4, nQueued);
    while (nQueued > 0 && ioctl(fdRaw, FIONREAD, &nQueued) == 0)
        Answers();
    ASSERT_TRUE(rmtest::SendSamples(fdRaw, {rmtest::TimeoutReport(125000)}));
    usleep(200000);
    EXPECT_EQ("255 00000000", Answers());
}

TEST_F(RcLibrary, UnInitClosesEveryNodeAndReopeningDoesNotLeak)
{
    m_tree.AddLirc(0, 0);
    m_tree.AddLirc(1, 1);
    const int nBefore = OpenDescriptors();
    ASSERT_EQ(1, Select(0));
    ASSERT_EQ(1, Select(0));
    ASSERT_EQ(1, Select(1));
    EXPECT_EQ(nBefore + 2, OpenDescriptors());
    m_pfnUnInit();
    EXPECT_EQ(nBefore, OpenDescriptors());
    EXPECT_EQ("255 00000000", Answers());
    // Usable again after UnInit, as the tool's binding allows.
    ASSERT_EQ(1, Select(1));
    EXPECT_EQ(nBefore + 1, OpenDescriptors());
}

// The kernel's own receiver, as its ir_loopback selftest drives it: what
// rc-loopback sends in scancode mode comes back decoded, and the library
// reads it like any card's.
TEST_F(RcLibrary, ReadsBackTheScancodesSentThroughTheKernelsRcLoopback)
{
    if (getuid() != 0)
        GTEST_SKIP() << "needs root to load rc-loopback";
    if (std::system("modprobe rc-loopback >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "modprobe rc-loopback failed: no rc-core or no module loading here";
    unsetenv("TAVRIXRC_RC_SYSFS");
    unsetenv("TAVRIXRC_RC_DEV");
    size_t nCount = 0;
    int* pDevices = rc_list_devices("/sys/class/rc", &nCount);
    int nCard = -1;
    for (size_t i = 0; i < nCount && nCard < 0; ++i)
    {
        std::ifstream uevent("/sys/class/rc/rc" + std::to_string(pDevices[i]) + "/uevent");
        for (std::string line; std::getline(uevent, line);)
            if (line == "DRV_NAME=rc-loopback")
                nCard = static_cast<int>(i);
    }
    const std::string rc = nCard >= 0 ? "/sys/class/rc/rc" + std::to_string(pDevices[nCard]) : "";
    std::free(pDevices);
    if (nCard < 0)
        GTEST_SKIP() << "rc-loopback loaded, but no rc device of it in /sys/class/rc";
    std::ofstream(rc + "/protocols") << "nec";

    char szNode[RC_PATH_MAX];
    ASSERT_EQ(1, rc_find_node("/sys/class/rc", "/dev", std::stoi(rc.substr(rc.rfind("rc") + 2)), RC_NODE_LIRC, szNode,
                              sizeof szNode));
    const int fdSend = open(szNode, O_RDWR | O_CLOEXEC);
    ASSERT_LE(0, fdSend) << szNode;
    uint32_t nMode = 8;  // scancode mode, for sending too
    ASSERT_EQ(0, ioctl(fdSend, _IOW('i', 0x11, uint32_t), &nMode));
    ASSERT_EQ(1, Select(nCard));
    for (uint64_t nScancode : {0x0408ull, 0x38C7ull, 0xFE01ull})
    {
        ASSERT_TRUE(rmtest::WriteAll(fdSend, Record(0, 0, rmtest::kProtoNec, nScancode)));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (m_pfnGetRemoteCodeEx() != rc_frame_code_ex(rmtest::kProtoNec, nScancode) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(rc_frame_code_ex(rmtest::kProtoNec, nScancode), m_pfnGetRemoteCodeEx()) << std::hex << nScancode;
        EXPECT_EQ(static_cast<int>(nScancode & 0xFF), m_pfnGetRemoteCode());
    }
    close(fdSend);
}

}  // namespace
