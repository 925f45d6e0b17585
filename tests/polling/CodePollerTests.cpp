// The code poller against the fake driver, writing to windows of the test
// thread: what it reads, what it writes, and that it writes only changes.
#include <gtest/gtest.h>

#include <atomic>
#include <ostream>
#include <string>
#include <vector>

#include "CodePoller.h"
#include "FakeDriverLibrary.h"
#include "RemoteDriver.h"
#include "TestWindows.h"

namespace {
CRemoteDriver s_driver;
}  // namespace
CRemoteDriver& g_driver = s_driver;

namespace {

using rmtest::BindDriver;
using rmtest::PumpUntil;
using rmtest::SetEnv;
using rmtest::TextsOf;
using rmtest::WindowText;

typedef std::vector<std::string> Texts;

class CCountingPoller : public CCodePoller
{
public:
    ~CCountingPoller() override { Stop(); }
    bool Step() override
    {
        const bool bMore = CCodePoller::Step();
        ++m_nSteps;
        return bMore;
    }
    std::atomic<int> m_nSteps{0};
};

class PollerTest : public rmtest::FakeDriverTest
{
protected:
    void SetUp() override
    {
        FakeDriverTest::SetUp();
        m_hCode = rmtest::CreateRecordingWindow();
        m_hCodeEx = rmtest::CreateRecordingWindow();
        ASSERT_NE(nullptr, m_hCode);
        ASSERT_NE(nullptr, m_hCodeEx);
    }
    void TearDown() override
    {
        m_poller.Stop();
        ::DestroyWindow(m_hCode);
        ::DestroyWindow(m_hCodeEx);
        FakeDriverTest::TearDown();
    }

    void Bind(const char* variant, const std::string& codes, const std::string& codesEx = "0")
    {
        SetEnv("TAVRIXRC_FAKE_CODES", codes);
        SetEnv("TAVRIXRC_FAKE_CODES_EX", codesEx);
        BindDriver(variant);
        ASSERT_EQ(1, CRemoteDriver::SelectCard(0));
        ClearCalls();
    }

    // Runs the poller for at least nSteps more steps while this thread
    // services the poller's writes, then stops it.
    void RunSteps(int nSteps)
    {
        const int nTarget = m_poller.m_nSteps + nSteps;
        ASSERT_TRUE(m_poller.Start());
        EXPECT_TRUE(PumpUntil([&] { return m_poller.m_nSteps >= nTarget; }));
        m_poller.Stop();
    }

    HWND m_hCode = nullptr;
    HWND m_hCodeEx = nullptr;
    CCountingPoller m_poller;
};

// ---- What the fields show --------------------------------------------------------

struct ShowCase
{
    const char* name;
    const char* variant;
    const char* codes;    // the driver's GetRemoteCode answers
    const char* codesEx;  // and GetRemoteCodeEx answers
    Texts codeTexts;      // every text written to the code field
    Texts codeExTexts;    // and to the extended code field
};

void PrintTo(const ShowCase& c, std::ostream* os)
{
    *os << c.name;
}

class Shows : public PollerTest, public ::testing::WithParamInterface<ShowCase>
{};

TEST_P(Shows, WritesEachChangeOnceInItsFormat)
{
    const ShowCase& c = GetParam();
    Bind(c.variant, c.codes, c.codesEx);
    m_poller.m_hCodeWnd = m_hCode;
    m_poller.m_hCodeExWnd = m_hCodeEx;
    // Well past the end of the script, whose last answer repeats.
    RunSteps(15);

    EXPECT_EQ(c.codeTexts, TextsOf(m_hCode));
    EXPECT_EQ(c.codeExTexts, TextsOf(m_hCodeEx));
    EXPECT_EQ(c.codeTexts.empty() ? "" : c.codeTexts.back(), WindowText(m_hCode));
    EXPECT_EQ(c.codeExTexts.empty() ? "" : c.codeExTexts.back(), WindowText(m_hCodeEx));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Shows,
    ::testing::Values(
        ShowCase{"NoKeyWritesNothing", "full", "255", "0", {}, {}},
        ShowCase{"KeyPressedHeldAndReleased",
                 "full",
                 "255,21,21,255",
                 "0,866B15EA,866B15EA,0",
                 {"21", ""},
                 {"866B15EA", ""}},
        // Without the extended entry each step asks for the code twice.
        ShowCase{"KeyPressedHeldAndReleasedDerived",
                 "noex",
                 "255,255,21,21,21,21,255,255",
                 "0",
                 {"21", ""},
                 {"866B15EA", ""}},
        ShowCase{"SameKeyAgainWithoutRelease", "full", "21,21,21,21", "866B15EA,866B15EA", {"21"}, {"866B15EA"}},
        ShowCase{"NegativeCodeShowsEmptyOnce", "full", "-5", "0", {""}, {}},
        ShowCase{"NegativeCodeBetweenKeys", "full", "-5,-5,7,7,-5,-5", "0", {"", "7", ""}, {}},
        ShowCase{"ShortExtendedCodeKeepsItsZeros", "full", "255", "ABCD", {}, {"0000ABCD"}},
        ShowCase{"Formats",
                 "full",
                 "0,255,7,254,1000,2147483647,-2147483648",
                 "1,FFFFFFFF,80000000,0,866B15EA,866B15EA,0",
                 {"0", "", "7", "254", "", ""},
                 {"00000001", "FFFFFFFF", "80000000", "", "866B15EA", ""}},
        ShowCase{"DerivedFormats",
                 "noex",
                 "0,0,254,254,255,255,-5,-5",
                 "0",
                 {"0", "254", "", ""},
                 {"866B00FF", "866BFE01", ""}}),
    [](const ::testing::TestParamInfo<ShowCase>& tp) { return std::string(tp.param.name); });

// ---- Which fields are read ------------------------------------------------------

struct HandleCase
{
    const char* name;
    const char* variant;
    bool code;              // has a code field
    bool codeEx;            // has an extended code field
    size_t readsPerStep;    // GetRemoteCode calls
    size_t readsExPerStep;  // GetRemoteCodeEx calls
};

void PrintTo(const HandleCase& c, std::ostream* os)
{
    *os << c.name;
}

class Handles : public PollerTest, public ::testing::WithParamInterface<HandleCase>
{};

TEST_P(Handles, AFieldWithoutAWindowIsNeitherReadNorWritten)
{
    const HandleCase& c = GetParam();
    Bind(c.variant, "21", "866B15EA");
    m_poller.m_hCodeWnd = c.code ? m_hCode : nullptr;
    m_poller.m_hCodeExWnd = c.codeEx ? m_hCodeEx : nullptr;
    RunSteps(5);

    // Every step ran to its end, so the counts are exact.
    const size_t nSteps = static_cast<size_t>(m_poller.m_nSteps.load());
    EXPECT_EQ(c.readsPerStep * nSteps, CountCalls("GetRemoteCode"));
    EXPECT_EQ(c.readsExPerStep * nSteps, CountCalls("GetRemoteCodeEx"));
    EXPECT_EQ(c.code ? Texts{"21"} : Texts{}, TextsOf(m_hCode));
    EXPECT_EQ(c.codeEx ? Texts{"866B15EA"} : Texts{}, TextsOf(m_hCodeEx));
}

INSTANTIATE_TEST_SUITE_P(Cases, Handles,
                         ::testing::Values(HandleCase{"Both", "full", true, true, 1, 1},
                                           HandleCase{"CodeOnly", "full", true, false, 1, 0},
                                           HandleCase{"ExtendedOnly", "full", false, true, 0, 1},
                                           HandleCase{"Neither", "full", false, false, 0, 0},
                                           HandleCase{"BothDerived", "noex", true, true, 2, 0},
                                           HandleCase{"CodeOnlyDerived", "noex", true, false, 1, 0},
                                           HandleCase{"ExtendedOnlyDerived", "noex", false, true, 1, 0},
                                           HandleCase{"NeitherDerived", "noex", false, false, 0, 0}),
                         [](const ::testing::TestParamInfo<HandleCase>& tp) { return std::string(tp.param.name); });

TEST_F(PollerTest, ReadsTheCodeBeforeTheExtendedCode)
{
    Bind("full", "21", "866B15EA");
    m_poller.m_hCodeWnd = m_hCode;
    m_poller.m_hCodeExWnd = m_hCodeEx;
    RunSteps(2);
    const Texts calls = Calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ((Texts{"GetRemoteCode -> 21", "GetRemoteCodeEx -> 866B15EA", "GetRemoteCode -> 21",
                     "GetRemoteCodeEx -> 866B15EA"}),
              Texts(calls.begin(), calls.begin() + 4));
}

// ---- Windows that are gone ------------------------------------------------------------

TEST_F(PollerTest, AFieldDestroyedBeforehandFailsHarmlessly)
{
    Bind("full", "21", "866B15EA");
    m_poller.m_hCodeWnd = m_hCode;
    m_poller.m_hCodeExWnd = m_hCodeEx;
    ASSERT_TRUE(::DestroyWindow(m_hCode));
    RunSteps(5);
    EXPECT_EQ(Texts{"866B15EA"}, TextsOf(m_hCodeEx));
    EXPECT_EQ(Texts{}, TextsOf(m_hCode));
}

TEST_F(PollerTest, FieldsDestroyedWhileRunningFailHarmlessly)
{
    // A change on every step, so that every step writes.
    Bind("full", "21,255,21,255,21,255,21,255,21,255,21,255,21,255,21,255,21,255,21,255,21,255,21,255,21",
         "866B15EA,0,866B15EA,0,866B15EA,0,866B15EA,0,866B15EA,0,866B15EA,0,866B15EA,0,866B15EA,0,866B15EA");
    m_poller.m_hCodeWnd = m_hCode;
    m_poller.m_hCodeExWnd = m_hCodeEx;
    ASSERT_TRUE(m_poller.Start());
    ASSERT_TRUE(PumpUntil([&] { return !TextsOf(m_hCodeEx).empty(); }));
    ASSERT_TRUE(::DestroyWindow(m_hCode));
    ASSERT_TRUE(::DestroyWindow(m_hCodeEx));
    const size_t nCodeTexts = TextsOf(m_hCode).size();
    const size_t nCodeExTexts = TextsOf(m_hCodeEx).size();

    // The worker goes on stepping: no write blocks on a window that is gone.
    const int nTarget = m_poller.m_nSteps + 10;
    EXPECT_TRUE(PumpUntil([&] { return m_poller.m_nSteps >= nTarget; }));
    m_poller.Stop();
    EXPECT_EQ(nCodeTexts, TextsOf(m_hCode).size());
    EXPECT_EQ(nCodeExTexts, TextsOf(m_hCodeEx).size());
}

}  // namespace
