// From a record's arrival on a receiver's node to the field's new text: the
// real executable on the receiver library over a fake tree, its output to a
// pipe (one line per field change). Each key comes at a random moment of the
// 20 ms poll, so the figures sit beside the poll's own floor, uniform from
// 0 to 20 ms. Prints figures; with --json FILE also writes them.
//   rccore_latency_bench [--keys N] [--json FILE]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Figures.h"
#include "ToolRun.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

using rmbench::SFigures;
using rmbench::Summarise;

}  // namespace

int main(int argc, char** argv)
{
    int nKeys = 500;
    const char* pszJson = nullptr;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::strcmp(argv[i], "--keys") == 0)
            nKeys = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--json") == 0)
            pszJson = argv[i + 1];
    }

    rmtest::CFakeReceivers tree;
    const int fd = tree.AddLirc(0, 0);
    rmtest::CToolRun run(tree, RM_EXE, RM_RCCORE_LIBRARY, RM_FAKE_NODE_SHIM);
    if (fd < 0 || !rmtest::LogHasLine(run.Log(), "OpenCard(0) -> 1", milliseconds(5000)))
    {
        std::fprintf(stderr, "rccore_latency_bench: the tool did not open the fake receiver\n");
        return 1;
    }
    std::mt19937 random(20);
    std::uniform_int_distribution<int> phaseUs(0, 20000);
    std::vector<double> latencies;
    for (int i = 0; i < nKeys; ++i)
    {
        std::this_thread::sleep_for(std::chrono::microseconds(phaseUs(random)));
        // A new key every time: the command changes, so the code field does.
        const uint64_t nCommand = static_cast<uint64_t>(i % 200);
        const std::string want = "RC Code: " + std::to_string(nCommand);
        const Clock::time_point sent = Clock::now();
        if (!rmtest::Send(fd, rmtest::Record(rmtest::NowNs(), 0, rmtest::kProtoNec, 0x3800 + nCommand)))
            return 1;
        std::string line;
        bool bSeen = false;
        while (!bSeen && run.NextLine(&line, milliseconds(2000)))
            bSeen = line == want;
        if (!bSeen)
        {
            std::fprintf(stderr, "rccore_latency_bench: key %d never showed\n", i);
            return 1;
        }
        latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
    }
    run.Stop(SIGTERM, milliseconds(3000));

    const SFigures measured = Summarise(latencies);
    const SFigures floor = {0.0, 10.0, 19.8, 20.0};
    std::printf("Receiver library: a record's arrival on the node to the field's new text, %d keys\n", nKeys);
    std::printf("%-30s %8s %8s %8s %8s\n", "", "min", "median", "p99", "max");
    std::printf("%-30s %8.2f %8.2f %8.2f %8.2f  ms\n", "measured", measured.dMin, measured.dMedian, measured.dP99,
                measured.dMax);
    std::printf("%-30s %8.2f %8.2f %8.2f %8.2f  ms\n", "poll floor (uniform 0-20 ms)", floor.dMin, floor.dMedian,
                floor.dP99, floor.dMax);
    if (pszJson != nullptr)
    {
        FILE* pFile = std::fopen(pszJson, "w");
        if (pFile == nullptr)
        {
            std::fprintf(stderr, "rccore_latency_bench: cannot write %s\n", pszJson);
            return 1;
        }
        std::fprintf(pFile,
                     "{\"keys\": %d, \"unit\": \"ms\",\n"
                     " \"measured\": {\"min\": %.3f, \"median\": %.3f, \"p99\": %.3f, \"max\": %.3f},\n"
                     " \"poll_floor\": {\"min\": %.3f, \"median\": %.3f, \"p99\": %.3f, \"max\": %.3f}}\n",
                     nKeys, measured.dMin, measured.dMedian, measured.dP99, measured.dMax, floor.dMin, floor.dMedian,
                     floor.dP99, floor.dMax);
        std::fclose(pFile);
    }
    return 0;
}
