// The simulated card that the tool loads by default: its script, its demo,
// its cards and its call log, as the tool sees them through the binding.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "FakeDriverLibrary.h"
#include "RemoteDriver.h"
#include "sim_script.h"

#ifndef RM_SIM_FROM_TESTS
#error "RM_SIM_FROM_TESTS: the simulated card's directory, relative to the test program's"
#endif

namespace {

using rmtest::SetEnv;
using rmtest::UnsetEnv;

typedef std::vector<std::string> Lines;

class SimulatedCardTest : public rmtest::FakeDriverTest
{
protected:
    void SetUp() override
    {
        FakeDriverTest::SetUp();
        UnsetEnv("TAVRIXRC_SIM_CARDS");
        UnsetEnv("TAVRIXRC_SIM_SCRIPT");
        UnsetEnv("TAVRIXRC_SIM_ORIGIN");
        SetEnv("TAVRIXRC_SIM_LOG", m_logPath);
        m_scriptPath = m_logPath + ".script";
    }
    void TearDown() override
    {
        FakeDriverTest::TearDown();
        UnsetEnv("TAVRIXRC_SIM_LOG");
        UnsetEnv("TAVRIXRC_SIM_SCRIPT");
        UnsetEnv("TAVRIXRC_SIM_CARDS");
        UnsetEnv("TAVRIXRC_SIM_ORIGIN");
        if (!HasFailure())
            std::remove(m_scriptPath.c_str());
    }

    void Script(const std::string& text)
    {
        std::ofstream(m_scriptPath) << text;
        SetEnv("TAVRIXRC_SIM_SCRIPT", m_scriptPath);
    }

    // Binds the driver to the simulated card, as the tool finds it beside
    // itself; "noex" is the card without the extended entry.
    static void BindCard(const std::string& variant = "")
    {
        g_driver.Release();
        std::string dir = rmtest::ExecutableDir() + "/" RM_SIM_FROM_TESTS;
        if (!variant.empty())
            dir += "/" + variant;
        ::SetDllDirectoryA(dir.c_str());
        g_driver.Load();
    }

    // Reads the code until it is the one asked for; false if it did not
    // come within the time given.
    static bool CodeBecomes(int nCode, int nTimeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
        while (CRemoteDriver::ReadCode() != nCode)
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    std::string m_scriptPath;
};

TEST_F(SimulatedCardTest, PlaysItsScriptFromTheOpeningOfTheCard)
{
    Script("# ms code extended\n"
           "0 21 866B15EA\n"
           "\n"
           "1000 255 0   # released\n"
           "not a line\n"
           "1300 7\n");
    BindCard();
    ASSERT_EQ(DRIVER_NO_CARD, CRemoteDriver::GetStatus());
    ASSERT_EQ(1, CRemoteDriver::SelectCard(0));
    EXPECT_EQ(21, CRemoteDriver::ReadCode());
    EXPECT_EQ(0x866B15EAu, CRemoteDriver::ReadCodeEx());
    EXPECT_TRUE(CodeBecomes(-1, 3000));
    EXPECT_EQ(0u, CRemoteDriver::ReadCodeEx());
    EXPECT_TRUE(CodeBecomes(7, 3000));
    // A code without an extended one gets the simulated remote's own frame.
    EXPECT_EQ(0x38C707F8u, CRemoteDriver::ReadCodeEx());
    // The last line holds.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(7, CRemoteDriver::ReadCode());

    g_driver.Release();
    const Lines calls = Calls();
    ASSERT_GE(calls.size(), 5u);
    EXPECT_EQ((Lines{"GetCardCount -> 1", "OpenCard(0) -> 1", "GetRemoteCode -> 21", "GetRemoteCodeEx -> 866B15EA"}),
              Lines(calls.begin(), calls.begin() + 4));
    EXPECT_EQ("UnInit", calls.back());
}

// Each script holds one bad line only, so any key at all means it was taken.
TEST_F(SimulatedCardTest, SkipsOverLongLinesWholeAndLinesWithGarbageOrOutOfRangeNumbers)
{
    const std::string scripts[] = {
        // The buffer's worth is blank; the tail used to be read as "0 99".
        std::string(300, ' ') + "0 99\n",
        "0 21 866B15EA " + std::string(300, ' ') + "\n",
        "0 21abc\n",
        "0 4294967317\n",
        "0 21 1866B15EA\n",
    };
    for (const std::string& script : scripts)
    {
        Script(script);
        BindCard();
        ASSERT_EQ(1, CRemoteDriver::SelectCard(0));
        EXPECT_EQ(-1, CRemoteDriver::ReadCode()) << script;
    }
    // The longest line there is still counts, and so does a last line
    // without its end of line.
    Script("0 21 866B15EA" + std::string(SIM_SCRIPT_LINE_MAX - 13, ' ') + "\n1 7");
    BindCard();
    ASSERT_EQ(1, CRemoteDriver::SelectCard(0));
    EXPECT_TRUE(CodeBecomes(7, 1000));
}

TEST(SimScriptLine, TakesTheDocumentedFormatAndNothingElse)
{
    struct Case
    {
        const char* pszText;
        sim_script_result eResult;
        long long nAt;
        int nCode;
        int bHasEx;
        unsigned int dwEx;
    };
    const Case cases[] = {
        {"200 21 866B15EA\r\n", SIM_SCRIPT_LINE, 200, 21, 1, 0x866B15EAu},
        {"\t0\t-5 # comment 1 2", SIM_SCRIPT_LINE, 0, -5, 0, 0},
        {"9223372036854775807 2147483647 0xFFFFFFFF", SIM_SCRIPT_LINE, 9223372036854775807LL, 2147483647, 1,
         0xFFFFFFFFu},
        {"1 -2147483648 00000000000abc", SIM_SCRIPT_LINE, 1, -2147483647 - 1, 1, 0xABCu},
        {"   # only a comment", SIM_SCRIPT_BLANK, 0, 0, 0, 0},
        {"", SIM_SCRIPT_BLANK, 0, 0, 0, 0},
        {"9223372036854775808 1", SIM_SCRIPT_MALFORMED, 0, 0, 0, 0},
        {"0 2147483648", SIM_SCRIPT_MALFORMED, 0, 0, 0, 0},
        {"0 -2147483649", SIM_SCRIPT_MALFORMED, 0, 0, 0, 0},
        {"0 1 100000000", SIM_SCRIPT_MALFORMED, 0, 0, 0, 0},
        {"0 1 -1", SIM_SCRIPT_MALFORMED, 0, 0, 0, 0},
        {"0 1 0x", SIM_SCRIPT_MALFORMED, 0, 0, 0, 0},
        {"0 1 AB CD", SIM_SCRIPT_MALFORMED, 0, 0, 0, 0},
        {"-1 1", SIM_SCRIPT_MALFORMED, 0, 0, 0, 0},
        {"+1 1", SIM_SCRIPT_MALFORMED, 0, 0, 0, 0},
        {"10", SIM_SCRIPT_MALFORMED, 0, 0, 0, 0},
        {"10ms 1", SIM_SCRIPT_MALFORMED, 0, 0, 0, 0},
        {"0 -", SIM_SCRIPT_MALFORMED, 0, 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        sim_script_line line = {-1, -1, -1, 1};
        ASSERT_EQ(c.eResult, sim_script_parse_line(c.pszText, std::strlen(c.pszText), &line)) << c.pszText;
        if (c.eResult == SIM_SCRIPT_LINE)
        {
            EXPECT_EQ(c.nAt, line.at_ms) << c.pszText;
            EXPECT_EQ(c.nCode, line.code) << c.pszText;
            EXPECT_EQ(c.bHasEx, line.has_ex) << c.pszText;
            EXPECT_EQ(c.dwEx, line.ex) << c.pszText;
        }
    }
    // The length bounds the line, not a terminator: a NUL is a byte like any.
    sim_script_line line;
    EXPECT_EQ(SIM_SCRIPT_LINE, sim_script_parse_line("5 6 7 8", 5, &line));
    EXPECT_EQ(SIM_SCRIPT_MALFORMED, sim_script_parse_line("5 6\0", 4, &line));
}

TEST_F(SimulatedCardTest, HasNoKeyBeforeTheFirstLineOfItsScript)
{
    Script("600000 5 12345678\n");
    BindCard();
    ASSERT_EQ(1, CRemoteDriver::SelectCard(0));
    EXPECT_EQ(-1, CRemoteDriver::ReadCode());
    EXPECT_EQ(0u, CRemoteDriver::ReadCodeEx());
}

// A benchmark outside the tool's process names the moment the script starts
// at, on the monotonic clock both share, instead of the opening of the card.
TEST_F(SimulatedCardTest, CountsItsScriptFromAGivenMomentWhenTold)
{
    const long long nowMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    Script("30000 21\n"
           "600000 5\n");
    SetEnv("TAVRIXRC_SIM_ORIGIN", std::to_string(nowMs - 60000));
    BindCard();
    ASSERT_EQ(1, CRemoteDriver::SelectCard(0));
    EXPECT_EQ(21, CRemoteDriver::ReadCode());

    Script("0 21\n");
    SetEnv("TAVRIXRC_SIM_ORIGIN", std::to_string(nowMs + 600000));
    BindCard();
    ASSERT_EQ(1, CRemoteDriver::SelectCard(0));
    EXPECT_EQ(-1, CRemoteDriver::ReadCode());
}

TEST_F(SimulatedCardTest, WithoutTheExtendedEntryTheToolDerivesTheCode)
{
    Script("0 21\n");
    BindCard("noex");
    ASSERT_EQ(1, CRemoteDriver::SelectCard(0));
    EXPECT_EQ(0x866B15EAu, CRemoteDriver::ReadCodeEx());
}

TEST_F(SimulatedCardTest, HasTheCardsItIsToldToHave)
{
    SetEnv("TAVRIXRC_SIM_CARDS", "0");
    BindCard();
    EXPECT_EQ(0, CRemoteDriver::SelectCard(0));
    EXPECT_EQ(DRIVER_NO_CARD, CRemoteDriver::GetStatus());
    EXPECT_EQ(Lines{"GetCardCount -> 0"}, Calls());

    SetEnv("TAVRIXRC_SIM_CARDS", "3");
    BindCard();
    ClearCalls();
    EXPECT_EQ(1, CRemoteDriver::SelectCard(2));
    EXPECT_EQ((Lines{"GetCardCount -> 3", "OpenCard(0) -> 1", "OpenCard(1) -> 1", "OpenCard(2) -> 1"}), Calls());
}

TEST_F(SimulatedCardTest, DemoPressesAndReleasesKeysOfARealRemote)
{
    const std::set<int> keys = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x0C, 0x0D, 0x10, 0x11, 0x20, 0x21};
    BindCard();
    ASSERT_EQ(1, CRemoteDriver::SelectCard(0));

    for (int nPress = 0; nPress < 2; ++nPress)
    {
        int nCode = -1;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(3000);
        while ((nCode = CRemoteDriver::ReadCode()) == -1 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_NE(-1, nCode) << "no key pressed";
        EXPECT_EQ(1u, keys.count(nCode)) << nCode;
        const DWORD dwCodeEx = CRemoteDriver::ReadCodeEx();
        // Released keys read 0; a held one reads its NEC frame.
        if (dwCodeEx != 0)
        {
            EXPECT_EQ(0x38C70000u | static_cast<DWORD>(nCode) << 8 | (0xFFu - static_cast<DWORD>(nCode)), dwCodeEx);
        }
        EXPECT_TRUE(CodeBecomes(-1, 2000)) << "key " << nCode << " is never released";
    }
}

}  // namespace
