// The receiver library on the kernel's own rc-core, in the kernel VM: the
// real executable with rc-loopback as its card. Two figures beside the
// kernel's own: from the moment a frame is handed to the kernel to the
// field's new text (each at a random moment of the 20 ms poll), and how long
// after the kernel's key-up the tool empties its fields, for a key held with
// NEC repeat codes. Prints figures; with --json FILE also writes them. Run
// it through bench/rccore_kernel_bench.sh, which boots the VM.
//   rccore_kernel_bench [--keys N] [--holds N] [--json FILE]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "Figures.h"
#include "KernelToolRun.h"

namespace {

using rmbench::SFigures;
using rmbench::Summarise;

void PrintRow(const char* pszName, const SFigures& f)
{
    std::printf("| %s | %.2f | %.2f | %.2f | %.2f |\n", pszName, f.dMin, f.dMedian, f.dP99, f.dMax);
}

void JsonRow(FILE* pFile, const char* pszKey, const SFigures& f, bool bLast)
{
    std::fprintf(pFile, " \"%s\": {\"min\": %.3f, \"median\": %.3f, \"p99\": %.3f, \"max\": %.3f}%s\n", pszKey, f.dMin,
                 f.dMedian, f.dP99, f.dMax, bLast ? "" : ",");
}

int Fail(const char* pszWhy)
{
    std::fprintf(stderr, "rccore_kernel_bench: %s\n", pszWhy);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    int nKeys = 60;
    int nHolds = 20;
    const char* pszJson = nullptr;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::strcmp(argv[i], "--keys") == 0)
            nKeys = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--holds") == 0)
            nHolds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--json") == 0)
            pszJson = argv[i + 1];
    }
    if (!rmtest::InKernelVm())
        return Fail("runs in the kernel VM only: bench/rccore_kernel_bench.sh");
    rmtest::CLoopback loop;
    if (!loop.Load() || !loop.SetProtocols("nec"))
        return Fail("rc-loopback did not load");
    rmtest::CKernelKeys keys(loop.EventNode());
    for (uint32_t nCommand = 0; nCommand < 200; ++nCommand)
        keys.Map(0x3800 + nCommand, KEY_1);
    rmtest::CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY);
    if (!tool.LogHas("OpenCard(" + std::to_string(loop.Card()) + ") -> 1", 10000))
        return Fail("the tool did not open rc-loopback");

    std::mt19937 random(20);
    std::uniform_int_distribution<int> phaseUs(0, 20000);
    std::vector<double> toField;
    std::vector<double> toKernel;
    for (int i = 0; i < nKeys; ++i)
    {
        usleep(static_cast<useconds_t>(phaseUs(random)));
        const uint32_t nCommand = static_cast<uint32_t>(i % 200);
        const size_t nFrom = tool.LineCount();
        const uint64_t sent = rmtest::NowNs();
        if (!loop.SendScancode(9, 0x3800 + nCommand))
            return Fail("a frame could not be sent");
        const uint64_t shown = tool.WaitLine("RC Code: " + std::to_string(nCommand), nFrom, 3000);
        const uint64_t pressed = keys.Next(1, 3000);
        if (shown == 0 || pressed == 0 || keys.LastRelease() == 0 || tool.WaitLine("RC Code:", nFrom, 3000) == 0)
            return Fail("a key was not shown and released");
        toField.push_back(static_cast<double>(shown - sent) / 1e6);
        toKernel.push_back(static_cast<double>(pressed - sent) / 1e6);
    }

    std::vector<double> keyUp;
    for (int i = 0; i < nHolds * 2 && static_cast<int>(keyUp.size()) < nHolds; ++i)
    {
        const size_t nFrom = tool.LineCount();
        const double lateMs = loop.HoldNec(0x38, 0x01, 5);
        const rmtest::SReleaseLag lag = rmtest::MeasureRelease(tool, keys, nFrom, "Extended code: 38C701FE");
        if (!lag.bReleased)
            return Fail("a held key was not released");
        // A hold the machine delayed is a remote out of its rhythm.
        if (lateMs >= 0 && lateMs < 5 && lag.nKernelPresses == 1)
            keyUp.push_back(lag.lagMs);
        usleep(200000);
    }
    tool.Stop(SIGTERM, 5000);
    if (keyUp.empty())
        return Fail("no hold kept its rhythm");

    const SFigures field = Summarise(toField);
    const SFigures kernel = Summarise(toKernel);
    const SFigures up = Summarise(keyUp);
    const SFigures floor = {0.0, 10.0, 19.8, 20.0};
    std::printf("Receiver library on the kernel's rc-core (rc-loopback, in a VM), %d keys, %zu held keys\n\n", nKeys,
                keyUp.size());
    std::printf("| measure (ms) | min | median | p99 | max |\n|---|---|---|---|---|\n");
    PrintRow("frame handed to the kernel to the field's text", field);
    PrintRow("the same to the kernel's own key press", kernel);
    PrintRow("key-up, tool minus kernel (NEC repeat codes)", up);
    PrintRow("poll floor", floor);
    if (pszJson != nullptr)
    {
        FILE* pFile = std::fopen(pszJson, "w");
        if (pFile == nullptr)
            return Fail("cannot write the JSON file");
        std::fprintf(pFile, "{\"keys\": %d, \"holds\": %zu, \"unit\": \"ms\",\n", nKeys, keyUp.size());
        JsonRow(pFile, "frame_to_field", field, false);
        JsonRow(pFile, "frame_to_kernel_press", kernel, false);
        JsonRow(pFile, "keyup_tool_minus_kernel", up, false);
        JsonRow(pFile, "poll_floor", floor, true);
        std::fprintf(pFile, "}\n");
        std::fclose(pFile);
    }
    return 0;
}
