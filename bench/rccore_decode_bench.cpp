// The raw path's decoding on the host, pure (no kernel, no node): what
// rc_raw costs per frame, for a frame of each protocol family its decoders
// take and for a made-up one none takes (the shape path), and the memory it
// costs an open receiver. A frame comes whole, as rc-loopback hands it to
// one read, ending in the receiver's time-out report; its cost is the poll
// that reads it (every sample, the reading, the settle) and the next poll's
// settle, so that the wait for the decoders is in it whichever poll ends
// it. Frames are built from each protocol's nominal timings, every duration
// off by up to 5 % (100 us at most). Prints rows "| suite | figure | value
// | note |"; with --json FILE also writes them.
//   rccore_decode_bench [--frames N] [--json FILE]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "FakeReceivers.h"
#include "Figures.h"
#include "RawFrames.h"

extern "C" {
#include "rc_node.h"
#include "rc_raw.h"
#include "rc_record.h"
}

namespace {
std::atomic<unsigned long> g_nAllocations{0};
}  // namespace

#if RM_COUNT_ALLOCATIONS
// Every open receiver decodes on the poller's thread every 20 ms, so an
// allocation per frame would be a cost (and a failure path) the library
// must not have: the bench counts them itself, so that each run shows it.
// glibc's own entry points do the work; free needs no count.
extern "C" {
void* __libc_malloc(size_t n);
void* __libc_calloc(size_t n, size_t size);
void* __libc_realloc(void* p, size_t n);

void* malloc(size_t n)
{
    g_nAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t size)
{
    g_nAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n)
{
    g_nAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
}
#endif

namespace {

using Clock = std::chrono::steady_clock;
using Durations = std::vector<uint32_t>;  // pulse first, ending in a pulse

const char kSuite[] = "receiver raw IR decoding (host)";
// A remote's timing is off by a share of each duration, yet by no more on a
// long one than on a short (a level's edges, not its length, wander): the
// kernel's margins on a long leader or an iMON run are a unit's, not a share.
constexpr double kJitter = 0.05;
constexpr double kMostJitterUs = 100;
constexpr uint32_t kTimeoutUs = 125000;  // the kernel's default
constexpr uint64_t kPollNs = 20000000;
// Far apart enough that each frame is a new press, its key up before the next.
constexpr uint64_t kFrameEveryNs = 500000000;

// Levels as they go on air: two of a kind in a row are one, and the line is
// idle (no space seen) before the first pulse and after the last.
class CLevels
{
public:
    CLevels& Level(bool bPulse, uint32_t us)
    {
        if (!m_us.empty() && m_bPulse == bPulse)
            m_us.back() += us;
        else if (bPulse || !m_us.empty())
        {
            m_us.push_back(us);
            m_bPulse = bPulse;
        }
        return *this;
    }
    // The n low bits, the highest first, each two halves of unit_us; a 1 is
    // pulse then space where bOnePulseFirst, else space then pulse.
    CLevels& Manchester(uint64_t value, int n, uint32_t unit_us, bool bOnePulseFirst)
    {
        for (int bit = n - 1; bit >= 0; --bit)
        {
            const bool bPulseFirst = ((value >> bit) & 1) == (bOnePulseFirst ? 1u : 0u);
            Level(bPulseFirst, unit_us);
            Level(!bPulseFirst, unit_us);
        }
        return *this;
    }
    Durations Ended() const
    {
        Durations us = m_us;
        if (!us.empty() && !m_bPulse)
            us.pop_back();
        return us;
    }

private:
    Durations m_us;
    bool m_bPulse = false;
};

// Pulse distance, the data low bit first, then a closing pulse; a header
// pulse of 0 is none.
Durations PulseDistance(uint32_t headerPulse, uint32_t headerSpace, uint32_t pulse, uint32_t zero, uint32_t one,
                        uint64_t data, int nBits)
{
    Durations us;
    if (headerPulse != 0)
        us = {headerPulse, headerSpace};
    for (int i = 0; i < nBits; ++i)
        us.insert(us.end(), {pulse, (data >> i) & 1 ? one : zero});
    us.push_back(pulse);
    return us;
}

// Each protocol's frame for a key drawn from r; n counts the frames, for
// the toggles.
Durations Nec(std::mt19937& r, unsigned)
{
    const uint8_t address = static_cast<uint8_t>(r());
    const uint8_t command = static_cast<uint8_t>(r());
    return rmtest::NecPulses(address, static_cast<uint8_t>(~address), command, static_cast<uint8_t>(~command));
}

Durations Rc5(std::mt19937& r, unsigned n)
{
    // Both start bits 1 (a command under 64), the toggle, system, command.
    return rmtest::BiPhaseFrame(0x3000u | (n & 1u) << 11 | (r() & 0x1Fu) << 6 | (r() & 0x3Fu));
}

Durations Rc6Mce(std::mt19937& r, unsigned n)
{
    // The leader, the start bit and mode 6, the double-length trailer bit,
    // then the MCE customer's 32 bits, its toggle bit 15.
    const uint32_t body = 0x800F0400u | (n & 1u) << 15 | (r() & 0xFFu);
    return CLevels()
        .Level(true, 2664)
        .Level(false, 888)
        .Manchester(0xE, 4, 444, true)
        .Manchester(0, 1, 888, true)
        .Manchester(body, 32, 444, true)
        .Ended();
}

Durations Sony12(std::mt19937& r, unsigned)
{
    return rmtest::Sony12Frame(r() & 0x7Fu, r() & 0x1Fu);
}

Durations Jvc(std::mt19937& r, unsigned)
{
    return PulseDistance(8400, 4200, 525, 525, 1575, r() & 0xFFFFu, 16);
}

Durations Sanyo(std::mt19937& r, unsigned)
{
    const uint64_t address = r() & 0x1FFFu;
    const uint64_t command = r() & 0xFFu;
    const uint64_t data = address | (~address & 0x1FFFu) << 13 | command << 26 | (~command & 0xFFu) << 34;
    return PulseDistance(9000, 4500, 560, 560, 1690, data, 42);
}

Durations SharpWithEcho(std::mt19937& r, unsigned)
{
    // Address, command, then the check bits: 1 on the frame, 2 on its echo,
    // which has the command inverted and comes 40 ms on.
    const uint32_t address = r() & 0x1Fu;
    const uint32_t command = r() & 0xFFu;
    Durations us = PulseDistance(0, 0, 320, 680, 1680, address | command << 5 | 1u << 13, 15);
    const Durations echo = PulseDistance(0, 0, 320, 680, 1680, address | (~command & 0xFFu) << 5 | 2u << 13, 15);
    us.push_back(40000);
    us.insert(us.end(), echo.begin(), echo.end());
    return us;
}

Durations Imon(std::mt19937& r, unsigned)
{
    // Not the key that puts the stick in keyboard mode: every frame is then
    // taken as it was sent.
    uint32_t scancode;
    do
        scancode = r() & 0x7FFFFFFFu;
    while (scancode == 0x299115B7u);
    const uint32_t kCheckBits = 0x437F7E00u;
    CLevels levels;
    levels.Level(true, 416);
    for (int bit = 30; bit >= 0; --bit)
    {
        levels.Level(((kCheckBits >> bit) & 1) && ((scancode >> bit) & 3) == 0, 416);
        levels.Level(!((scancode >> bit) & 1), 416);
    }
    return levels.Ended();
}

Durations MadeUp(std::mt19937& r, unsigned)
{
    // Nominal, as the others: Samples() jitters every family alike.
    return rmtest::MadeUpFrame(r() & 0xFFFFFFu, &r, 0.0);
}

struct SFamily
{
    const char* pszName;
    const char* pszFrame;
    Durations (*build)(std::mt19937&, unsigned);
    uint16_t proto;  // the key decoded here; RC_PROTO_UNKNOWN: the shape key
};

const SFamily kFamilies[] = {
    {"NEC", "NEC frame", Nec, RC_PROTO_NEC},
    {"RC-5", "RC-5 frame", Rc5, RC_PROTO_RC5},
    {"RC-6 MCE", "RC-6 MCE frame", Rc6Mce, RC_PROTO_RC6_MCE},
    {"Sony 12", "Sony 12 frame", Sony12, RC_PROTO_SONY12},
    {"JVC", "JVC frame", Jvc, RC_PROTO_JVC},
    {"Sanyo", "Sanyo frame", Sanyo, RC_PROTO_SANYO},
    {"Sharp", "Sharp frame and its echo", SharpWithEcho, RC_PROTO_SHARP},
    {"iMON", "iMON frame", Imon, RC_PROTO_IMON},
    {"a shape key", "made-up frame no decoder takes (shape)", MadeUp, RC_PROTO_UNKNOWN},
};

// The samples of one read: the frame's durations jittered, then the
// receiver's time-out report.
std::vector<uint32_t> Samples(const Durations& nominal, std::mt19937& r)
{
    std::uniform_real_distribution<double> off(-1.0, 1.0);
    std::vector<uint32_t> samples;
    for (size_t i = 0; i < nominal.size(); ++i)
    {
        const double by = std::min(nominal[i] * kJitter, kMostJitterUs) * off(r);
        const uint32_t us = static_cast<uint32_t>(nominal[i] + by);
        samples.push_back(i % 2 == 0 ? rmtest::Pulse(us) : rmtest::Space(us));
    }
    samples.push_back(rmtest::TimeoutReport(kTimeoutUs));
    return samples;
}

struct SResult
{
    std::string figure;
    rmbench::SFigures us;
    int nFrames;
    int nTaken;
    unsigned long nAllocations;
    bool bCounterCounts;  // it saw the pool's vectors allocated
};

SResult Measure(const SFamily& family, int nFrames)
{
    std::mt19937 r(7);
    const unsigned long nBeforePool = g_nAllocations.load(std::memory_order_relaxed);
    std::vector<std::vector<uint32_t>> pool;
    for (unsigned n = 0; n < 256; ++n)
        pool.push_back(Samples(family.build(r, n), r));
    const bool bCounterCounts = g_nAllocations.load(std::memory_order_relaxed) != nBeforePool;
    std::vector<double> us;
    us.reserve(static_cast<size_t>(nFrames));
    static rc_raw raw;  // kilobytes: off the stack, as a receiver's is, in the library's table of nodes
    rc_raw_start(&raw);
    uint64_t t = 1000000000;
    const int nWarmUp = nFrames / 10;
    int nTaken = 0;
    unsigned long nAllocations = 0;
    for (int i = 0; i < nWarmUp + nFrames; ++i)
    {
        const std::vector<uint32_t>& samples = pool[static_cast<size_t>(i) % pool.size()];
        const unsigned long nBefore = g_nAllocations.load(std::memory_order_relaxed);
        // the idle poll before it, so that the read's timing is a poll's
        rc_raw_polled(&raw, t - kPollNs);
        rc_raw_settle(&raw, t - kPollNs);
        const Clock::time_point start = Clock::now();
        for (uint32_t sample : samples)
            rc_raw_sample(&raw, sample, t);
        rc_raw_polled(&raw, t);
        rc_raw_settle(&raw, t);
        rc_raw_settle(&raw, t + kPollNs);
        const Clock::time_point end = Clock::now();
        const unsigned long nAfter = g_nAllocations.load(std::memory_order_relaxed);
        // A frame a decoder takes shows no shape besides.
        const bool bTaken = family.proto == RC_PROTO_UNKNOWN
                                ? rc_raw_code_ex(&raw, t + kPollNs) != 0
                                : rc_key_is_down(&raw.key, t + kPollNs) && raw.key.proto == family.proto &&
                                      rc_raw_code_ex(&raw, t + kPollNs) == 0;
        if (i >= nWarmUp)
        {
            us.push_back(std::chrono::duration<double, std::micro>(end - start).count());
            nTaken += bTaken ? 1 : 0;
            nAllocations += nAfter - nBefore;
        }
        t += kFrameEveryNs;
    }
    size_t nFewest = pool[0].size();
    size_t nMost = nFewest;
    for (const std::vector<uint32_t>& samples : pool)
    {
        nFewest = std::min(nFewest, samples.size());
        nMost = std::max(nMost, samples.size());
    }
    std::string figure = std::string(family.pszFrame) + ", " + std::to_string(nFewest);
    if (nMost != nFewest)
        figure += "-" + std::to_string(nMost);
    figure += " samples";
    return SResult{figure, rmbench::Summarise(us), nFrames, nTaken, nAllocations, bCounterCounts};
}

std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text)
    {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* pszJson = nullptr;
    int nFrames = 20000;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::strcmp(argv[i], "--json") == 0)
            pszJson = argv[i + 1];
        else if (std::strcmp(argv[i], "--frames") == 0)
            nFrames = std::atoi(argv[i + 1]);
    }
    if (nFrames < 100)
    {
        std::fprintf(stderr, "usage: rccore_decode_bench [--frames N (100 or more)] [--json FILE]\n");
        return 2;
    }

    std::string json = std::string("{\"suite\": \"") + kSuite + "\", \"figures\": [";
    const auto add = [&](const std::string& figure, const std::string& value, const std::string& unit,
                         const std::string& text, const std::string& note) {
        std::printf("| %s | %s | %s | %s |\n", kSuite, figure.c_str(), text.c_str(), note.c_str());
        json += std::string(json.back() == '[' ? "" : ",") + "\n  {\"figure\": \"" + Escaped(figure) +
                "\", \"value\": " + value + ", \"unit\": \"" + unit + "\", \"note\": \"" + Escaped(note) + "\"}";
    };
    bool bAllTaken = true;
    unsigned long nAllocations = 0;
    bool bCounterCounts = true;
    int nAllFrames = 0;
    for (const SFamily& family : kFamilies)
    {
        const SResult result = Measure(family, nFrames);
        char szValue[160];
        char szText[64];
        char szNote[200];
        std::snprintf(szValue, sizeof szValue, "{\"min\": %.3f, \"median\": %.3f, \"p99\": %.3f, \"max\": %.3f}",
                      result.us.dMin, result.us.dMedian, result.us.dP99, result.us.dMax);
        std::snprintf(szText, sizeof szText, "%.2f / %.2f / %.1f us", result.us.dMedian, result.us.dP99,
                      result.us.dMax);
        std::snprintf(szNote, sizeof szNote, "median / p99 / max of %d; %d taken as %s", result.nFrames, result.nTaken,
                      family.pszName);
        add(result.figure, szValue, "us", szText, szNote);
        bAllTaken = bAllTaken && result.nTaken == result.nFrames;
        nAllocations += result.nAllocations;
        bCounterCounts = bCounterCounts && result.bCounterCounts;
        nAllFrames += result.nFrames;
    }
    add("memory per open receiver: sizeof(rc_raw)", std::to_string(sizeof(rc_raw)), "bytes",
        std::to_string(sizeof(rc_raw)) + " bytes", "the raw path's state, held in each open receiver's node");
    add("of which its two frame shapes", std::to_string(2 * sizeof(rc_shape)), "bytes",
        std::to_string(2 * sizeof(rc_shape)) + " bytes", "the frame coming in and the last one shown");
    add("the whole node, sizeof(rc_node)", std::to_string(sizeof(rc_node)), "bytes",
        std::to_string(sizeof(rc_node)) + " bytes", "rc_raw with the scancode side and the paths");
    // A zero from a counter that saw none of the bench's own allocations
    // (another allocator took the calls, as valgrind's does) would say nothing.
    if (RM_COUNT_ALLOCATIONS && bCounterCounts)
        add("allocations per frame", std::to_string(static_cast<double>(nAllocations) / nAllFrames), "allocations",
            std::to_string(nAllocations) + " in " + std::to_string(nAllFrames) + " frames",
            "malloc, calloc and realloc counted while the frames were taken in");
    else
        add("allocations per frame", "null", "allocations", "not counted",
            "glibc's allocator is not the one taking the calls (a sanitizer build, valgrind)");
    json += "\n]}\n";
    if (pszJson != nullptr)
    {
        FILE* pFile = std::fopen(pszJson, "w");
        if (pFile == nullptr || std::fputs(json.c_str(), pFile) < 0 || std::fclose(pFile) != 0)
        {
            std::fprintf(stderr, "rccore_decode_bench: cannot write %s\n", pszJson);
            return 1;
        }
    }
    // A frame its decoder did not take was timed on another path than its
    // row says.
    if (!bAllTaken)
    {
        std::fprintf(stderr, "rccore_decode_bench: some frames were not taken as their rows say\n");
        return 1;
    }
    return 0;
}
