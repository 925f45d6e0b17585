// The real executable on the receiver library, over a fake tree: a key held
// through its repeats shows its frame, empties both fields once it is up,
// and the library is told UnInit at exit.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "ToolRun.h"

namespace {

using Clock = std::chrono::steady_clock;
using rmtest::Ms;
using rmtest::NowNs;
using std::chrono::milliseconds;

TEST(RcEndToEnd, AKeyHeldAndReleasedOnARealReceiverShowsItsFrameThenNothing)
{
    rmtest::CFakeReceivers tree;
    const int fd = tree.AddLirc(0, 0);
    rmtest::CToolRun run(tree, RM_EXE, RM_RCCORE_LIBRARY, RM_FAKE_NODE_SHIM);
    ASSERT_TRUE(rmtest::LogHasLine(run.Log(), "OpenCard(0) -> 1", milliseconds(5000)));

    // Held for half a second: a press, then NEC repeats every 100 ms.
    ASSERT_TRUE(rmtest::Send(fd, rmtest::Record(NowNs(), 0, rmtest::kProtoNec, 0x0408)));
    std::string line;
    ASSERT_TRUE(run.NextLine(&line, milliseconds(2000)));
    EXPECT_EQ("RC Code: 8", line);
    ASSERT_TRUE(run.NextLine(&line, milliseconds(2000)));
    EXPECT_EQ("Extended code: 04FB08F7", line);
    for (int i = 0; i < 5; ++i)
    {
        std::this_thread::sleep_for(milliseconds(100));
        ASSERT_TRUE(rmtest::Send(fd, rmtest::Record(NowNs(), rmtest::kFlagRepeat, rmtest::kProtoNec, 0x0408)));
    }
    const Clock::time_point lastRepeat = Clock::now();
    // Released: 110 ms of repeat period and 125 ms of time-out after the
    // last repeat, plus a poll.
    ASSERT_TRUE(run.NextLine(&line, milliseconds(2000)));
    EXPECT_EQ("RC Code:", line);
    EXPECT_LE(milliseconds(200), Clock::now() - lastRepeat);
    ASSERT_TRUE(run.NextLine(&line, milliseconds(2000)));
    EXPECT_EQ("Extended code:", line);

    EXPECT_EQ(0, run.Stop(SIGTERM, milliseconds(3000)));
    std::ifstream log(run.Log());
    std::string last;
    for (std::string got; std::getline(log, got);)
        last = got;
    EXPECT_EQ("UnInit", last);
}

}  // namespace

// Inside a time namespace the process's monotonic clock is 1000 s ahead of
// the host's, on which the kernel stamps the records: the key is shown all
// the same, and released as on the host. (A process enters the namespace by
// fork: on 6.1 an exec'd one stays outside and cannot start threads.)
TEST(RcEndToEnd, InsideATimeNamespaceAKeyIsShownAndReleasedAsOnTheHost)
{
    if (std::system("unshare --time --fork --monotonic 1000 true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no time namespace here (unshare --time needs CAP_SYS_ADMIN)";
    rmtest::CFakeReceivers tree;
    const int fd = tree.AddLirc(0, 0);
    rmtest::CToolRun run(tree, RM_EXE, RM_RCCORE_LIBRARY, RM_FAKE_NODE_SHIM,
                         {"unshare", "--time", "--fork", "--kill-child=SIGTERM", "--monotonic", "1000"});
    ASSERT_TRUE(rmtest::LogHasLine(run.Log(), "OpenCard(0) -> 1", milliseconds(5000)));
    ASSERT_TRUE(rmtest::Send(fd, rmtest::Record(NowNs(), 0, rmtest::kProtoNec, 0x0408)));
    const Clock::time_point sent = Clock::now();
    std::string line;
    ASSERT_TRUE(run.NextLine(&line, milliseconds(2000)));
    EXPECT_EQ("RC Code: 8", line);
    ASSERT_TRUE(run.NextLine(&line, milliseconds(2000)));
    ASSERT_TRUE(run.NextLine(&line, milliseconds(2000)));
    EXPECT_EQ("RC Code:", line);
    EXPECT_GT(milliseconds(1000), Clock::now() - sent);
}
