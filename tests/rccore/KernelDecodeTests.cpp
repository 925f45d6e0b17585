// The kernel's protocols decoded here, against the kernel's own decoders
// in the kernel VM: random scancodes of each protocol sent through
// rc-loopback, once with the protocol's decoder enabled (the kernel's
// record is the answer) and once with every decoder disabled (the library
// decodes the raw frame): the same RC Code and Extended code, and the
// protocol named. The same for frames with a receiver's jitter and bias,
// where the kernel takes them.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <set>
#include <thread>

#include "KernelTest.h"

extern "C" {
#include "rc_frame.h"
#include "rc_record.h"
}

namespace {

using rmtest::Ms;
using rmtest::NowNs;

struct SProtocol
{
    const char* pszDecoder;  // its name in the protocols file
    const char* pszName;     // as the library's line names it
    uint16_t proto;
    uint64_t mask;  // the kernel's scancode bits of the protocol
    uint64_t set;   // bits the kernel's encoder requires
};

const SProtocol kProtocols[] = {
    {"nec", "NEC", RC_PROTO_NEC, 0xffff, 0},
    {"nec", "NEC-X", RC_PROTO_NECX, 0xffffff, 0},
    {"nec", "32-bit NEC", RC_PROTO_NEC32, 0xffffffff, 0},
    {"rc-5", "RC-5", RC_PROTO_RC5, 0x1f7f, 0},
    {"rc-5", "RC-5X-20", RC_PROTO_RC5X_20, 0x1f7f3f, 0},
    {"rc-5-sz", "RC-5-SZ", RC_PROTO_RC5_SZ, 0x2fff, 0},
    {"rc-6", "RC-6 mode 0", RC_PROTO_RC6_0, 0xffff, 0},
    {"rc-6", "RC-6 6A-20", RC_PROTO_RC6_6A_20, 0xfffff, 0},
    {"rc-6", "RC-6 6A-24", RC_PROTO_RC6_6A_24, 0xffffff, 0},
    {"rc-6", "RC-6 6A-32", RC_PROTO_RC6_6A_32, 0xffffffff, 0},
    {"rc-6", "RC-6 MCE", RC_PROTO_RC6_MCE, 0x7fff, 0x800f0000},
    {"jvc", "JVC", RC_PROTO_JVC, 0xffff, 0},
    {"sony", "Sony 12-bit", RC_PROTO_SONY12, 0x1f007f, 0},
    {"sony", "Sony 15-bit", RC_PROTO_SONY15, 0xff007f, 0},
    {"sony", "Sony 20-bit", RC_PROTO_SONY20, 0x1fff7f, 0},
    {"sanyo", "Sanyo", RC_PROTO_SANYO, 0x1fffff, 0},
    {"sharp", "Sharp", RC_PROTO_SHARP, 0x1fff, 0},
    {"imon", "iMON", RC_PROTO_IMON, 0x7fffffff, 0},
    {"mce_kbd", "MCE keyboard", RC_PROTO_MCIR2_KBD, 0xffffff, 0},
};

// The library in this process, its standard error kept in a file.
class CLibrary
{
public:
    explicit CLibrary(int nCard)
    {
        std::fflush(stderr);
        m_fdSavedErr = dup(2);
        m_fdErr = fileno(std::tmpfile());
        dup2(m_fdErr, 2);
        m_hLibrary = dlopen(RM_RCCORE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (m_hLibrary == nullptr)
            return;
        auto pfnGetCardCount = reinterpret_cast<int (*)()>(dlsym(m_hLibrary, "GetCardCount"));
        auto pfnOpenCard = reinterpret_cast<int (*)(int)>(dlsym(m_hLibrary, "OpenCard"));
        m_pfnGetRemoteCode = reinterpret_cast<int (*)()>(dlsym(m_hLibrary, "GetRemoteCode"));
        m_pfnGetRemoteCodeEx = reinterpret_cast<unsigned (*)()>(dlsym(m_hLibrary, "GetRemoteCodeEx"));
        m_pfnUnInit = reinterpret_cast<int (*)()>(dlsym(m_hLibrary, "UnInit"));
        m_bOpen = pfnGetCardCount() > nCard && pfnOpenCard(nCard) == 1;
    }
    ~CLibrary()
    {
        if (m_hLibrary != nullptr)
        {
            m_pfnUnInit();
            dlclose(m_hLibrary);
        }
        dup2(m_fdSavedErr, 2);
        close(m_fdSavedErr);
    }
    bool Open() const { return m_bOpen; }
    // The answers, polled as the tool polls, until they are not before (or
    // 400 ms have passed).
    std::pair<int, unsigned> NextAnswers(std::pair<int, unsigned> before) const
    {
        const uint64_t deadline = NowNs() + Ms(400);
        std::pair<int, unsigned> now;
        do
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            now.first = m_pfnGetRemoteCode();
            now.second = m_pfnGetRemoteCodeEx();
        } while ((now == before || now.second == 0) && NowNs() < deadline);
        return now;
    }
    std::pair<int, unsigned> Answers() const { return {m_pfnGetRemoteCode(), m_pfnGetRemoteCodeEx()}; }
    std::string Told() const
    {
        std::string text;
        char buf[4096];
        for (ssize_t n; (n = pread(m_fdErr, buf, sizeof buf, static_cast<off_t>(text.size()))) > 0;)
            text.append(buf, static_cast<size_t>(n));
        return text;
    }

private:
    void* m_hLibrary = nullptr;
    int (*m_pfnGetRemoteCode)() = nullptr;
    unsigned (*m_pfnGetRemoteCodeEx)() = nullptr;
    int (*m_pfnUnInit)() = nullptr;
    bool m_bOpen = false;
    int m_fdSavedErr = -1;
    int m_fdErr = -1;
};

// The kernel's side: its record of each frame (scancode mode) and the raw
// frame itself (mode2), read by readers of their own.
class CKernelReader
{
public:
    explicit CKernelReader(const std::string& node)
    {
        m_fdScancodes = open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        m_fdRaw = open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        uint32_t nMode = 8;
        ioctl(m_fdScancodes, _IOW('i', 0x12, uint32_t), &nMode);
        nMode = 4;
        ioctl(m_fdRaw, _IOW('i', 0x12, uint32_t), &nMode);
    }
    ~CKernelReader()
    {
        close(m_fdScancodes);
        close(m_fdRaw);
    }
    void Drain()
    {
        char buf[4096];
        while (read(m_fdScancodes, buf, sizeof buf) > 0 || read(m_fdRaw, buf, sizeof buf) > 0)
        {
        }
    }
    // The kernel's record of the frame just sent; false when none came.
    bool Record(rc_record* pRecord)
    {
        for (int nTry = 0; nTry < 40; ++nTry)
        {
            unsigned char bytes[RC_RECORD_SIZE];
            if (read(m_fdScancodes, bytes, sizeof bytes) == static_cast<ssize_t>(sizeof bytes))
                return rc_decode_scancodes(bytes, sizeof bytes, pRecord, 1) == 1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // The durations of the frame just sent, pulse first, up to its end.
    std::vector<uint32_t> Frame()
    {
        std::vector<uint32_t> us;
        uint32_t samples[512];
        const ssize_t n = read(m_fdRaw, samples, sizeof samples);
        for (ssize_t i = 0; i < n / 4; ++i)
        {
            const uint32_t kind = samples[i] >> 24;
            if (kind > 1)
                break;
            if (kind == 1 || !us.empty())
                us.push_back(samples[i] & 0xFFFFFF);
        }
        if (us.size() % 2 == 0 && !us.empty())
            us.pop_back();
        return us;
    }

private:
    int m_fdScancodes = -1;
    int m_fdRaw = -1;
};

std::string Hex(uint64_t value)
{
    char sz[24];
    std::snprintf(sz, sizeof sz, "%llX", static_cast<unsigned long long>(value));
    return sz;
}

class RcKernelDecode : public rmtest::CKernelTest
{
protected:
    // Scancodes per protocol: REMOTEMONITOR_DECODE_COUNT, else 200.
    static int Count()
    {
        const char* psz = std::getenv("REMOTEMONITOR_DECODE_COUNT");
        return psz != nullptr ? std::atoi(psz) : 200;
    }
};

struct SFrame
{
    rc_record kernel;          // the kernel's record of it, its decoder enabled
    std::vector<uint32_t> us;  // when sent as pulses
};

TEST_F(RcKernelDecode, EveryProtocolShowsTheKernelsCodesWithItsDecoderDisabled)
{
    std::mt19937_64 random(27);
    std::normal_distribution<double> jitter(0, 0.15 / 2);
    for (const SProtocol& p : kProtocols)
    {
        SCOPED_TRACE(p.pszName);
        // With its decoder enabled: the kernel's records, and the frames
        // the kernel encoded, jittered and biased and sent again as pulses.
        ASSERT_TRUE(m_loop.SetProtocols(p.pszDecoder));
        CKernelReader kernel(m_loop.LircNode());
        std::vector<uint64_t> scancodes;
        std::vector<SFrame> frames;
        int nJitteredTaken = 0;
        while (static_cast<int>(scancodes.size()) < Count())
        {
            const uint64_t scancode = (random() & p.mask) | p.set;
            kernel.Drain();
            if (!m_loop.SendScancode(p.proto, scancode))
                continue;  // one the kernel's encoder refuses
            rc_record rec;
            ASSERT_TRUE(kernel.Record(&rec)) << Hex(scancode);
            ASSERT_EQ(p.proto, rec.proto) << Hex(scancode);
            ASSERT_EQ(scancode, rec.scancode);
            scancodes.push_back(scancode);
            if (scancodes.size() % 4 != 0)
                continue;
            std::vector<uint32_t> us = kernel.Frame();
            for (size_t i = 0; i < us.size(); ++i)
                us[i] = static_cast<uint32_t>(
                    std::max(50.0, us[i] * (1 + std::clamp(jitter(random), -0.15, 0.15)) + (i % 2 == 0 ? 100 : -100)));
            kernel.Drain();
            ASSERT_TRUE(m_loop.SendPulses(us));
            if (kernel.Record(&rec))
            {
                frames.push_back({rec, us});
                ++nJitteredTaken;
            }
        }
        // Every decoder disabled: the library decodes them.
        ASSERT_TRUE(m_loop.SetProtocols("none"));
        CLibrary library(m_loop.Card());
        ASSERT_TRUE(library.Open());
        std::pair<int, unsigned> shown = {255, 0};
        int nSame = 0;
        for (uint64_t scancode : scancodes)
        {
            ASSERT_TRUE(m_loop.SendScancode(p.proto, scancode));
            const std::pair<int, unsigned> expected = {rc_frame_code(p.proto, scancode),
                                                       rc_frame_code_ex(p.proto, scancode)};
            shown = library.NextAnswers(expected == shown ? std::make_pair(255, 0u) : shown);
            nSame += shown == expected;
            EXPECT_EQ(expected, shown) << Hex(scancode);
        }
        int nJitteredSame = 0;
        for (const SFrame& frame : frames)
        {
            ASSERT_TRUE(m_loop.SendPulses(frame.us));
            const std::pair<int, unsigned> expected = {rc_frame_code(frame.kernel.proto, frame.kernel.scancode),
                                                       rc_frame_code_ex(frame.kernel.proto, frame.kernel.scancode)};
            shown = library.NextAnswers(expected == shown ? std::make_pair(255, 0u) : shown);
            nJitteredSame += shown == expected;
            EXPECT_EQ(expected, shown) << Hex(frame.kernel.scancode) << " jittered";
        }
        const std::string told = library.Told();
        EXPECT_NE(std::string::npos, told.find(std::string(p.pszName) + " frames come")) << told;
        EXPECT_NE(std::string::npos, told.find("echo +" + std::string(p.pszDecoder) + " | sudo tee")) << told;
        std::printf("decoded here: %-13s %d/%zu scancodes as the kernel; jittered and biased: kernel took %d/%zu, "
                    "the same here %d/%d\n",
                    p.pszName, nSame, scancodes.size(), nJitteredTaken, scancodes.size() / 4, nJitteredSame,
                    nJitteredTaken);
    }
}

// A held key with no decoder of its protocol enabled, and with another
// protocol's enabled: one press with one code, no blank while held, and up
// within a poll of the kernel's own release of the same hold with its
// decoder enabled (beside the other).
TEST_F(RcKernelDecode, AHeldKeyIsOnePressReleasedAsTheKernelReleasesIt)
{
    struct
    {
        const char* pszWhat;
        const char* pszDecoder;
        uint16_t proto;
        uint64_t scancode;
        uint64_t periodMs;
    } const holds[] = {{"NEC", "nec", RC_PROTO_NEC, 0x0408, 108},
                       {"Sony 12-bit", "sony", RC_PROTO_SONY12, 0x010015, 45},
                       {"RC-5", "rc-5", RC_PROTO_RC5, 0x1E0B, 114},
                       {"RC-6 MCE", "rc-6", RC_PROTO_RC6_MCE, 0x800F040C, 105}};
    const auto hold = [&](const auto& h, int nFrames) {
        return h.proto == RC_PROTO_NEC ? m_loop.HoldNec(0x04, 0x08, nFrames - 1)
                                       : m_loop.HoldFrames(h.proto, h.scancode, nFrames, h.periodMs);
    };
    for (const auto& h : holds)
        for (const char* pszOther : {"", "jvc"})
            for (int nFrames : {1, 3, 10})
            {
                SCOPED_TRACE(std::string(h.pszWhat) + " other " + pszOther + " frames " + std::to_string(nFrames));
                const std::string with = std::string(pszOther) + (*pszOther ? " +" : "") + h.pszDecoder;
                const std::pair<int, unsigned> key = {rc_frame_code(h.proto, h.scancode),
                                                      rc_frame_code_ex(h.proto, h.scancode)};
                // The kernel's release, its decoder enabled: the library shows
                // the kernel's key, up when the kernel's timer says. A hold
                // whose frames a busy emulated machine sent late (the kernel
                // itself then lets the key go between them) is tried again.
                double kernelMs = 0;
                double hereMs = 0;
                double lateMs = 0;
                std::vector<std::pair<int, unsigned>> kernelRuns;
                std::vector<std::pair<int, unsigned>> hereRuns;
                for (int nTry = 0; nTry < 3 && (nTry == 0 || lateMs > 5); ++nTry)
                {
                    lateMs = 0;
                    for (const std::string& protocols : {with, std::string(*pszOther ? pszOther : "none")})
                    {
                        ASSERT_TRUE(m_loop.SetProtocols(protocols));
                        CLibrary library(m_loop.Card());
                        ASSERT_TRUE(library.Open());
                        std::vector<std::pair<int, unsigned>> runs;
                        std::atomic<uint64_t> lastEnd(0);
                        std::thread sender([&] {
                            const double late = hold(h, nFrames);
                            lateMs = std::max(lateMs, late < 0 ? 1e9 : late);
                            lastEnd = NowNs();
                        });
                        uint64_t upAt = 0;
                        std::pair<int, unsigned> last = {255, 0};
                        const uint64_t until = NowNs() + Ms(h.periodMs * nFrames + 1500);
                        while (NowNs() < until && (lastEnd == 0 || upAt == 0 || NowNs() < upAt + Ms(200)))
                        {
                            std::this_thread::sleep_for(std::chrono::milliseconds(5));
                            const std::pair<int, unsigned> now = library.Answers();
                            if (now != last)
                            {
                                runs.push_back(now);
                                upAt = now.second == 0 ? NowNs() : 0;
                            }
                            last = now;
                        }
                        sender.join();
                        (protocols == with ? kernelRuns : hereRuns) = runs;
                        (protocols == with ? kernelMs : hereMs) = static_cast<double>(upAt - lastEnd) / 1e6;
                    }
                }
                const std::vector<std::pair<int, unsigned>> expected = {key, {255, 0}};
                EXPECT_EQ(expected, kernelRuns) << "the kernel's own, sent at most " << lateMs << " ms late";
                EXPECT_EQ(expected, hereRuns) << "decoded here";
                std::printf("held %-11s %2d frames, other decoder %-3s: up %.1f ms after the last frame, the "
                            "kernel's %.1f\n",
                            h.pszWhat, nFrames, pszOther, hereMs, kernelMs);
                EXPECT_NEAR(kernelMs, hereMs, 25.0);
            }
}

// NEC enabled while a key is held with NEC off: its repeats become the
// kernel's, of the last scancode it decoded (none yet): no stale code, no
// other key, and the key is up as a key of its own.
TEST_F(RcKernelDecode, EnablingTheDecoderDuringAHoldShowsNoStaleCode)
{
    ASSERT_TRUE(m_loop.SetProtocols("none"));
    CLibrary library(m_loop.Card());
    ASSERT_TRUE(library.Open());
    std::thread sender([&] { m_loop.HoldNec(0x04, 0x09, 12); });
    std::set<std::pair<int, unsigned>> shown;
    const uint64_t start = NowNs();
    bool bEnabled = false;
    while (NowNs() < start + Ms(2000))
    {
        if (!bEnabled && NowNs() > start + Ms(500))
            bEnabled = m_loop.SetProtocols("+nec");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        shown.insert(library.Answers());
    }
    sender.join();
    const std::set<std::pair<int, unsigned>> expected = {{255, 0u}, {9, 0x04FB09F6u}};
    EXPECT_EQ(expected, shown);
}

}  // namespace
