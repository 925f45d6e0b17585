// The driver binding against the fake libraries: what is bound, what is
// called and in which order, and how every answer of the driver is mapped.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "FakeDriverLibrary.h"
#include "RemoteDriver.h"

namespace {
// Constructed before any test, like the tool's: the test program's directory
// has no driver library, so this first binding finds none.
CRemoteDriver s_driver;
}  // namespace
CRemoteDriver& g_driver = s_driver;

namespace {

using rmtest::BindDriver;
using rmtest::FakeDriverTest;
using rmtest::JoinAnswers;
using rmtest::SetEnv;

typedef std::vector<std::string> Lines;

// ---- Binding ----------------------------------------------------------------

struct BindingCase
{
    const char* variant;
    int status;
    bool unInitAtRelease;
};

void PrintTo(const BindingCase& c, std::ostream* os)
{
    *os << c.variant;
}

class Binding : public FakeDriverTest, public ::testing::WithParamInterface<BindingCase>
{};

TEST_P(Binding, StatusAndCallsFromLoadToRelease)
{
    const BindingCase& c = GetParam();
    SetEnv("TAVRIXRC_FAKE_CODES", "21");
    SetEnv("TAVRIXRC_FAKE_CODES_EX", "866B15EA");
    BindDriver(c.variant);
    EXPECT_EQ(c.status, CRemoteDriver::GetStatus());
    // Binding alone calls nothing.
    EXPECT_EQ(Lines{}, Calls());

    if (c.status == DRIVER_NOT_LOADED)
    {
        // An unusable library is never called into, whatever is asked.
        EXPECT_EQ(0, CRemoteDriver::SelectCard(0));
        EXPECT_EQ(-1, CRemoteDriver::ReadCode());
        EXPECT_EQ(0u, CRemoteDriver::ReadCodeEx());
        EXPECT_EQ(DRIVER_NOT_LOADED, CRemoteDriver::GetStatus());
    }

    g_driver.Release();
    EXPECT_EQ(DRIVER_NOT_LOADED, CRemoteDriver::GetStatus());
    // A second release finds nothing left to do.
    g_driver.Release();
    EXPECT_EQ(c.unInitAtRelease ? Lines{"UnInit"} : Lines{}, Calls());
}

INSTANTIATE_TEST_SUITE_P(Variants, Binding,
                         ::testing::Values(BindingCase{"full", DRIVER_NO_CARD, true},
                                           BindingCase{"noex", DRIVER_NO_CARD, true},
                                           BindingCase{"no_GetCardCount", DRIVER_NOT_LOADED, false},
                                           BindingCase{"no_OpenCard", DRIVER_NOT_LOADED, false},
                                           BindingCase{"no_GetRemoteCode", DRIVER_NOT_LOADED, false},
                                           BindingCase{"no_UnInit", DRIVER_NOT_LOADED, false},
                                           BindingCase{"absent", DRIVER_NOT_LOADED, false}),
                         [](const ::testing::TestParamInfo<BindingCase>& tp) { return std::string(tp.param.variant); });

TEST_F(FakeDriverTest, StartsUnboundWithoutALibraryBesideTheProgram)
{
    EXPECT_EQ(DRIVER_NOT_LOADED, CRemoteDriver::GetStatus());
}

TEST_F(FakeDriverTest, LoadingAgainEndsTheFirstBindingFirst)
{
    BindDriver("full");
    g_driver.Load();
    EXPECT_EQ(DRIVER_NO_CARD, CRemoteDriver::GetStatus());
    EXPECT_EQ(Lines{"UnInit"}, Calls());
    g_driver.Release();
    EXPECT_EQ((Lines{"UnInit", "UnInit"}), Calls());
}

TEST_F(FakeDriverTest, ASessionCallsTheDriverInOrder)
{
    SetEnv("TAVRIXRC_FAKE_CODES", "21");
    SetEnv("TAVRIXRC_FAKE_CODES_EX", "866B15EA");
    BindDriver("full");
    EXPECT_EQ(1, CRemoteDriver::SelectCard(0));
    EXPECT_EQ(DRIVER_CARD_OPEN, CRemoteDriver::GetStatus());
    EXPECT_EQ(21, CRemoteDriver::ReadCode());
    EXPECT_EQ(0x866B15EAu, CRemoteDriver::ReadCodeEx());
    g_driver.Release();
    EXPECT_EQ((Lines{"GetCardCount -> 1", "OpenCard(0) -> 1", "GetRemoteCode -> 21", "GetRemoteCodeEx -> 866B15EA",
                     "UnInit"}),
              Calls());
    // Nothing reaches the library after its release.
    EXPECT_EQ(-1, CRemoteDriver::ReadCode());
    EXPECT_EQ(0u, CRemoteDriver::ReadCodeEx());
    EXPECT_EQ(5u, Calls().size());
}

// ---- Selection ----------------------------------------------------------------

struct SelectionCase
{
    const char* name;
    const char* cards;  // GetCardCount's answer
    const char* open;   // the cards that open; nullptr: all of them
    int index;
    int result;
    Lines calls;
};

void PrintTo(const SelectionCase& c, std::ostream* os)
{
    *os << c.name;
}

class Selection : public FakeDriverTest, public ::testing::WithParamInterface<SelectionCase>
{};

TEST_P(Selection, OpensCardsInOrderAndCountsOnlyThoseThatOpen)
{
    const SelectionCase& c = GetParam();
    SetEnv("TAVRIXRC_FAKE_CARDS", c.cards);
    if (c.open != nullptr)
        SetEnv("TAVRIXRC_FAKE_OPEN", c.open);
    BindDriver("full");
    EXPECT_EQ(c.result, CRemoteDriver::SelectCard(c.index));
    EXPECT_EQ(c.result ? DRIVER_CARD_OPEN : DRIVER_NO_CARD, CRemoteDriver::GetStatus());
    EXPECT_EQ(c.calls, Calls());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Selection,
    ::testing::Values(SelectionCase{"FirstOfOne", "1", nullptr, 0, 1, {"GetCardCount -> 1", "OpenCard(0) -> 1"}},
                      SelectionCase{"OnlyTheLastOfThreeOpens",
                                    "3",
                                    "2",
                                    0,
                                    1,
                                    {"GetCardCount -> 3", "OpenCard(0) -> 0", "OpenCard(1) -> 0", "OpenCard(2) -> 1"}},
                      SelectionCase{"SecondWhenOnlyOneOfTwoOpens",
                                    "2",
                                    "1",
                                    1,
                                    0,
                                    {"GetCardCount -> 2", "OpenCard(0) -> 0", "OpenCard(1) -> 1"}},
                      SelectionCase{"SecondOfThreeThatAllOpen",
                                    "3",
                                    nullptr,
                                    1,
                                    1,
                                    {"GetCardCount -> 3", "OpenCard(0) -> 1", "OpenCard(1) -> 1"}},
                      SelectionCase{"SecondOpenerSkipsTheRefusers",
                                    "4",
                                    "1,3",
                                    1,
                                    1,
                                    {"GetCardCount -> 4", "OpenCard(0) -> 0", "OpenCard(1) -> 1", "OpenCard(2) -> 0",
                                     "OpenCard(3) -> 1"}},
                      SelectionCase{"NoneOpens",
                                    "3",
                                    "none",
                                    0,
                                    0,
                                    {"GetCardCount -> 3", "OpenCard(0) -> 0", "OpenCard(1) -> 0", "OpenCard(2) -> 0"}},
                      SelectionCase{"NoCards", "0", nullptr, 0, 0, {"GetCardCount -> 0"}},
                      SelectionCase{"NegativeCount", "-3", nullptr, 0, 0, {"GetCardCount -> -3"}},
                      SelectionCase{"MinimumCount", "-2147483648", nullptr, 0, 0, {"GetCardCount -> -2147483648"}},
                      SelectionCase{"IndexEqualToCount", "2", nullptr, 2, 0, {"GetCardCount -> 2"}},
                      SelectionCase{"NegativeIndex", "3", nullptr, -1, 0, {}},
                      SelectionCase{"MinimumIndex", "3", nullptr, INT_MIN, 0, {}}),
    [](const ::testing::TestParamInfo<SelectionCase>& tp) { return std::string(tp.param.name); });

TEST_F(FakeDriverTest, AFailedSelectionClosesTheWayToTheReads)
{
    SetEnv("TAVRIXRC_FAKE_CARDS", "1");
    BindDriver("full");
    ASSERT_EQ(1, CRemoteDriver::SelectCard(0));
    EXPECT_EQ(0, CRemoteDriver::SelectCard(1));
    EXPECT_EQ(DRIVER_NO_CARD, CRemoteDriver::GetStatus());
    ClearCalls();
    EXPECT_EQ(-1, CRemoteDriver::ReadCode());
    EXPECT_EQ(0u, CRemoteDriver::ReadCodeEx());
    EXPECT_EQ(Lines{}, Calls());
}

TEST_F(FakeDriverTest, NoReadReachesTheDriverBeforeACardIsSelected)
{
    SetEnv("TAVRIXRC_FAKE_CODES", "21");
    SetEnv("TAVRIXRC_FAKE_CODES_EX", "866B15EA");
    for (const char* variant : {"full", "noex"})
    {
        BindDriver(variant);
        ClearCalls();
        EXPECT_EQ(-1, CRemoteDriver::ReadCode()) << variant;
        EXPECT_EQ(0u, CRemoteDriver::ReadCodeEx()) << variant;
        EXPECT_EQ(Lines{}, Calls()) << variant;
    }
}

// ---- Reads ------------------------------------------------------------------------

// Answers over the whole 32-bit range: every value near the boundaries of
// the mapping, and a sweep with a stride that also varies the low bits.
std::vector<int> SweepOfAnswers()
{
    std::vector<int> values = {INT_MIN, INT_MIN + 1, -65536, -256,       -255,        -254,
                               -5,      65535,       65536,  0x7FFFFF00, INT_MAX - 1, INT_MAX};
    for (int v = -300; v <= 600; ++v)
        values.push_back(v);
    for (int64_t v = INT_MIN; v <= INT_MAX; v += 1048573)
        values.push_back(static_cast<int>(v));
    return values;
}

// Binds the fake anew for each part of a long script, with a card selected
// and the log cleared, and hands over the part: Windows keeps an environment
// variable to 32767 characters.
template <typename T, typename ReadPart>
void InParts(const std::vector<T>& answers, const char* variant, bool bHex, ReadPart readPart)
{
    const size_t kPart = 1000;
    for (size_t first = 0; first < answers.size(); first += kPart)
    {
        const std::vector<T> part(answers.begin() + static_cast<std::ptrdiff_t>(first),
                                  answers.begin() +
                                      static_cast<std::ptrdiff_t>(std::min(first + kPart, answers.size())));
        SetEnv(bHex ? "TAVRIXRC_FAKE_CODES_EX" : "TAVRIXRC_FAKE_CODES", JoinAnswers(part));
        BindDriver(variant);
        ASSERT_EQ(1, CRemoteDriver::SelectCard(0));
        readPart(part);
    }
}

TEST_F(FakeDriverTest, ReadCodeKeepsAnswersBelow255AndMapsTheRestToNoCode)
{
    InParts(SweepOfAnswers(), "full", false, [this](const std::vector<int>& answers) {
        ClearCalls();
        for (int answer : answers)
        {
            const int code = CRemoteDriver::ReadCode();
            if (answer <= 254)
                EXPECT_EQ(answer, code) << "driver answered " << answer;
            else
                EXPECT_EQ(-1, code) << "driver answered " << answer;
        }
        // One driver call per read, and never the extended entry.
        EXPECT_EQ(answers.size(), CountCalls("GetRemoteCode"));
        EXPECT_EQ(0u, CountCalls("GetRemoteCodeEx"));
    });
}

TEST_F(FakeDriverTest, ReadCodeExDerivesAnNecFrameForEveryKeyCode)
{
    std::vector<int> keyCodes;
    for (int c = 0; c <= 254; ++c)
        keyCodes.push_back(c);
    InParts(keyCodes, "noex", false, [this](const std::vector<int>& answers) {
        ClearCalls();
        for (int c : answers)
        {
            const DWORD ex = CRemoteDriver::ReadCodeEx();
            // Address 0x866B, then the command and its complement.
            EXPECT_EQ(0x86u, (ex >> 24) & 0xFF) << c;
            EXPECT_EQ(0x6Bu, (ex >> 16) & 0xFF) << c;
            EXPECT_EQ(static_cast<DWORD>(c), (ex >> 8) & 0xFF) << c;
            EXPECT_EQ(0xFFu, ((ex >> 8) & 0xFF) + (ex & 0xFF)) << c;
        }
        EXPECT_EQ(answers.size(), CountCalls("GetRemoteCode"));
    });
}

TEST_F(FakeDriverTest, ReadCodeExDerivedExamples)
{
    SetEnv("TAVRIXRC_FAKE_CODES", "21,0,254,255,-5");
    BindDriver("noex");
    ASSERT_EQ(1, CRemoteDriver::SelectCard(0));
    for (DWORD expected : {0x866B15EAu, 0x866B00FFu, 0x866BFE01u, 0u, 0u})
        EXPECT_EQ(expected, CRemoteDriver::ReadCodeEx());
}

TEST_F(FakeDriverTest, ReadCodeExHasNoCodeForAnyOtherAnswer)
{
    std::vector<int> others;
    for (int v : SweepOfAnswers())
        if (v < 0 || v > 254)
            others.push_back(v);
    InParts(others, "noex", false, [](const std::vector<int>& answers) {
        for (int answer : answers)
            EXPECT_EQ(0u, CRemoteDriver::ReadCodeEx()) << "driver answered " << answer;
    });
}

TEST_F(FakeDriverTest, EachReadAsksTheDriverAfreshWithoutTheExtendedEntry)
{
    // The two reads of one poll may see two different answers.
    SetEnv("TAVRIXRC_FAKE_CODES", "21,22");
    BindDriver("noex");
    ASSERT_EQ(1, CRemoteDriver::SelectCard(0));
    ClearCalls();
    EXPECT_EQ(21, CRemoteDriver::ReadCode());
    EXPECT_EQ(0x866B16E9u, CRemoteDriver::ReadCodeEx());
    EXPECT_EQ((Lines{"GetRemoteCode -> 21", "GetRemoteCode -> 22"}), Calls());
}

TEST_F(FakeDriverTest, ReadCodeExPassesTheExtendedEntrysAnswerThrough)
{
    std::vector<DWORD> sweep = {0u,          1u,          0xFFu,       0x100u,      0xABCDu,
                                0x866B15EAu, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu};
    for (uint64_t v = 0; v <= 0xFFFFFFFFu; v += 4194319)
        sweep.push_back(static_cast<DWORD>(v));
    SetEnv("TAVRIXRC_FAKE_CODES", "21");
    InParts(sweep, "full", true, [this](const std::vector<DWORD>& answers) {
        ClearCalls();
        for (DWORD answer : answers)
            EXPECT_EQ(answer, CRemoteDriver::ReadCodeEx());
        EXPECT_EQ(answers.size(), CountCalls("GetRemoteCodeEx"));
        EXPECT_EQ(0u, CountCalls("GetRemoteCode"));
    });
}

}  // namespace
