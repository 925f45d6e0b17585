// What reading raw IR adds to a poll, on the kernel's own rc-core in the
// kernel VM (rc-loopback, which delivers raw IR): the library's idle poll
// (GetRemoteCode and GetRemoteCodeEx with nothing queued, the raw
// descriptor read beside the scancodes), the raw descriptor's empty read
// alone, and the poll that takes in a whole frame no decoder takes. Prints
// rows "| suite | figure | value | note |"; with --json FILE also writes
// them. Run it through bench/rccore_kernel_bench.sh --program
// rccore_raw_bench, which boots the VM. Figures are of an emulated machine.
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "KernelLoopback.h"
#include "RawFrames.h"

namespace {

using rmtest::NowNs;

double MedianUs(std::vector<uint64_t> ns)
{
    std::sort(ns.begin(), ns.end());
    return static_cast<double>(ns[ns.size() / 2]) / 1000.0;
}

struct SRow
{
    const char* pszFigure;
    double us;
    const char* pszNote;
};

}  // namespace

int main(int argc, char** argv)
{
    const char* pszJson = argc == 3 && std::strcmp(argv[1], "--json") == 0 ? argv[2] : nullptr;
    rmtest::CLoopback loop;
    if (!rmtest::InKernelVm() || !loop.Load() || !loop.SetProtocols("nec"))
    {
        std::fprintf(stderr, "SKIPPED: runs in the kernel VM only, with rc-loopback\n");
        return 77;
    }
    void* hLibrary = dlopen(RM_RCCORE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (hLibrary == nullptr)
        return 1;
    auto pfnGetCardCount = reinterpret_cast<int (*)()>(dlsym(hLibrary, "GetCardCount"));
    auto pfnOpenCard = reinterpret_cast<int (*)(int)>(dlsym(hLibrary, "OpenCard"));
    auto pfnGetRemoteCode = reinterpret_cast<int (*)()>(dlsym(hLibrary, "GetRemoteCode"));
    auto pfnGetRemoteCodeEx = reinterpret_cast<unsigned (*)()>(dlsym(hLibrary, "GetRemoteCodeEx"));
    auto pfnUnInit = reinterpret_cast<int (*)()>(dlsym(hLibrary, "UnInit"));
    pfnGetCardCount();
    if (pfnOpenCard(loop.Card()) != 1)
        return 1;

    const int nPolls = 20000;
    std::vector<uint64_t> poll;
    for (int i = 0; i < nPolls; ++i)
    {
        const uint64_t before = NowNs();
        pfnGetRemoteCode();
        pfnGetRemoteCodeEx();
        poll.push_back(NowNs() - before);
    }
    const int fdRaw = open(loop.LircNode().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    uint32_t mode = 4;  // LIRC_MODE_MODE2
    if (fdRaw < 0 || ioctl(fdRaw, _IOW('i', 0x12, uint32_t), &mode) != 0)
        return 1;
    std::vector<uint64_t> read_alone;
    for (int i = 0; i < nPolls; ++i)
    {
        uint32_t samples[512];
        const uint64_t before = NowNs();
        const ssize_t n = read(fdRaw, samples, sizeof samples);
        read_alone.push_back(NowNs() - before);
        if (n > 0)
            return 1;
    }
    close(fdRaw);
    std::vector<uint64_t> frame;
    std::mt19937 jitter(1);
    const std::vector<uint32_t> unknown = rmtest::MadeUpFrame(rmtest::kMadeUpKeys[0], &jitter);
    for (int i = 0; i < 50; ++i)
    {
        loop.SendPulses(unknown);
        const uint64_t before = NowNs();
        pfnGetRemoteCode();
        pfnGetRemoteCodeEx();
        frame.push_back(NowNs() - before);
    }
    pfnUnInit();
    dlclose(hLibrary);

    const SRow rows[] = {
        {"idle poll, raw IR read beside the scancodes", MedianUs(poll),
         "GetRemoteCode + GetRemoteCodeEx, nothing queued; median of 20000"},
        {"of which the raw descriptor's empty read", MedianUs(read_alone), "the one read reading raw IR adds; median"},
        {"poll taking in a whole 51-sample frame", MedianUs(frame), "no decoder takes it; median of 50"},
    };
    for (const SRow& row : rows)
        std::printf("| receiver raw IR (VM) | %s | %.1f us | %s |\n", row.pszFigure, row.us, row.pszNote);
    if (pszJson != nullptr)
    {
        FILE* pFile = std::fopen(pszJson, "w");
        if (pFile == nullptr)
            return 1;
        std::fprintf(pFile, "{\"suite\": \"receiver raw IR (VM)\", \"figures\": [\n");
        for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i)
            std::fprintf(pFile, " {\"figure\": \"%s\", \"value\": %.3f, \"unit\": \"us\"}%s\n", rows[i].pszFigure,
                         rows[i].us, i + 1 < sizeof rows / sizeof rows[0] ? "," : "");
        std::fprintf(pFile, "]}\n");
        std::fclose(pFile);
    }
    return 0;
}
