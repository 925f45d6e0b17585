// The RC-5, RC-6, iMON and MCE keyboard decoders on frames built here from
// each protocol's timings: where the kernel's margins end, frames cut
// short, toggles, the iMON stick's keyboard mode, and a receiver's usual
// bias (marks long, spaces short by as much). That the scancodes are the
// kernel's own is shown against the kernel itself, in the VM.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

extern "C" {
#include "rc_dec_imon.h"
#include "rc_dec_mce_kbd.h"
#include "rc_dec_rc5.h"
#include "rc_dec_rc6.h"
#include "rc_record.h"
}

namespace {

// A frame as the receiver reports it: levels of one kind merge as on air,
// the idle before the first pulse is not seen, and the silence after the
// last pulse comes as the receiver's time-out.
class Air
{
public:
    Air& Level(bool pulse, uint32_t us)
    {
        if (!m_events.empty() && (m_events.back().pulse != 0) == pulse)
            m_events.back().duration_us += us;
        else if (pulse || !m_events.empty())
            m_events.push_back(rc_ir_event{us, static_cast<uint8_t>(pulse), 0, 0});
        return *this;
    }
    Air& Pulse(uint32_t us) { return Level(true, us); }
    Air& Space(uint32_t us) { return Level(false, us); }
    // The n low bits of value, the highest first, each two halves of unit_us;
    // a 1 is pulse then space where one_pulse_first, else space then pulse.
    Air& Manchester(uint64_t value, int n, uint32_t unit_us, bool one_pulse_first)
    {
        for (int bit = n - 1; bit >= 0; --bit)
        {
            const bool pulse_first = ((value >> bit) & 1) == (one_pulse_first ? 1u : 0u);
            Level(pulse_first, unit_us);
            Level(!pulse_first, unit_us);
        }
        return *this;
    }
    std::vector<rc_ir_event> Ended(uint32_t timeout_us = 100000) const
    {
        std::vector<rc_ir_event> events = m_events;
        if (!events.empty() && !events.back().pulse)
            events.pop_back();
        events.push_back(rc_ir_event{timeout_us, 0, 1, 0});
        return events;
    }
    // The first count levels alone, as when the rest of the frame is lost.
    Air Cut(size_t count) const
    {
        Air cut;
        cut.m_events.assign(m_events.begin(), m_events.begin() + static_cast<std::ptrdiff_t>(count));
        return cut;
    }
    const std::vector<rc_ir_event>& Levels() const { return m_events; }

private:
    std::vector<rc_ir_event> m_events;
};

// A receiver's usual bias: each mark longer, each space shorter by us.
std::vector<rc_ir_event> Biased(std::vector<rc_ir_event> events, uint32_t us)
{
    for (rc_ir_event& e : events)
        if (!e.timeout)
            e.duration_us = e.pulse ? e.duration_us + us : e.duration_us - us;
    return events;
}

std::vector<rc_ir_event> Then(std::vector<rc_ir_event> a, const std::vector<rc_ir_event>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One decoder, kept across the frames fed to it.
template <typename State>
class Decoder
{
public:
    explicit Decoder(rc_ir_feed_fn feed) : m_feed(feed) { std::memset(&m_state, 0, sizeof m_state); }
    std::vector<rc_ir_key> Keys(const std::vector<rc_ir_event>& events)
    {
        std::vector<rc_ir_key> keys;
        for (const rc_ir_event& e : events)
        {
            rc_ir_key key;
            std::memset(&key, 0xA5, sizeof key);
            if (m_feed(&m_state, e, &key))
                keys.push_back(key);
        }
        return keys;
    }

private:
    rc_ir_feed_fn m_feed;
    State m_state;
};

void ExpectKey(const std::vector<rc_ir_key>& keys, uint16_t proto, uint64_t scancode, uint8_t toggle)
{
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].proto, proto);
    EXPECT_EQ(keys[0].scancode, scancode) << std::hex << keys[0].scancode;
    EXPECT_EQ(keys[0].toggle, toggle);
    EXPECT_EQ(keys[0].repeat, 0);
}

// RC-5: 889 us halves, a 1 space first; the first start bit's space is the
// idle before the frame. The second start bit is the command's 7th bit,
// inverted.
constexpr uint32_t kRc5Unit = 889;

Air Rc5(uint32_t system, uint32_t command, uint32_t toggle)
{
    const uint32_t bits = 1u << 13 | ((command & 0x40) ? 0u : 1u) << 12 | toggle << 11 | system << 6 | (command & 0x3F);
    return Air().Manchester(bits, 14, kRc5Unit, false);
}

// StreamZap: 15 bits, its scancode the 13 after the first start bit with
// the toggle left out.
Air Rc5Sz(uint32_t scancode, uint32_t toggle)
{
    const uint32_t bits = 1u << 14 | (scancode & 0x2000) | toggle << 12 | (scancode & 0xFFF);
    return Air().Manchester(bits, 15, kRc5Unit, false);
}

// RC-5X: four silent units after the system, then command and extension.
Air Rc5x(uint32_t system, uint32_t command, uint32_t xdata, uint32_t toggle)
{
    const uint32_t head = 1u << 7 | ((command & 0x40) ? 0u : 1u) << 6 | toggle << 5 | system;
    return Air()
        .Manchester(head, 8, kRc5Unit, false)
        .Space(4 * kRc5Unit)
        .Manchester((command & 0x3F) << 6 | xdata, 12, kRc5Unit, false);
}

TEST(RcDecodeRc5, TakesEachVariantsToggleOutOfItsScancode)
{
    struct
    {
        const char* what;
        Air air;
        uint16_t proto;
        uint64_t scancode;
        uint8_t toggle;
    } const cases[] = {
        {"rc-5", Rc5(0x05, 0x35, 0), RC_PROTO_RC5, 0x0535, 0},
        {"rc-5 toggled", Rc5(0x05, 0x35, 1), RC_PROTO_RC5, 0x0535, 1},
        {"rc-5, command past 63", Rc5(0x1F, 0x7E, 1), RC_PROTO_RC5, 0x1F7E, 1},
        {"rc-5-sz", Rc5Sz(0x2A53, 0), RC_PROTO_RC5_SZ, 0x2A53, 0},
        {"rc-5-sz toggled", Rc5Sz(0x0A53, 1), RC_PROTO_RC5_SZ, 0x0A53, 1},
        {"rc-5x-20", Rc5x(0x0B, 0x52, 0x21, 0), RC_PROTO_RC5X_20, 0x0B5221, 0},
        {"rc-5x-20 toggled", Rc5x(0x0B, 0x12, 0x3F, 1), RC_PROTO_RC5X_20, 0x0B123F, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        Decoder<rc_dec_rc5> dec(rc_dec_rc5_feed);
        ExpectKey(dec.Keys(c.air.Ended()), c.proto, c.scancode, c.toggle);
        // A receiver's usual bias is within the kernel's margins.
        ExpectKey(dec.Keys(Biased(c.air.Ended(), 150)), c.proto, c.scancode, c.toggle);
    }
}

TEST(RcDecodeRc5, TakesAUnitOnlyWithinHalfAUnitAndEndsOnlyOnALongSpace)
{
    // System 0x05, command 0x35: the leader pulse, then the second start
    // bit's lone 889 us space; the last bit a 1, so the frame ends on a
    // pulse and the trailing space stands alone.
    const Air air = Rc5(0x05, 0x35, 0);
    struct
    {
        const char* what;
        size_t index;
        uint32_t us;
        bool key;
    } const cases[] = {
        {"a unit just long enough", 1, 446, true},     {"a unit too short", 1, 445, false},
        {"a unit just short enough", 1, 1332, true},   {"a unit too long", 1, 1333, false},
        {"the end, just long enough", 19, 4891, true}, {"the end, too short", 19, 4890, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<rc_ir_event> events = air.Ended();
        ASSERT_EQ(events.size(), 20u);
        events[c.index].duration_us = c.us;
        Decoder<rc_dec_rc5> dec(rc_dec_rc5_feed);
        EXPECT_EQ(dec.Keys(events).size(), c.key ? 1u : 0u);
    }
}

TEST(RcDecodeRc5, AFrameCutShortIsNoKeyAndTheNextFrameIsRead)
{
    const Air air = Rc5(0x05, 0x35, 0);
    Decoder<rc_dec_rc5> dec(rc_dec_rc5_feed);
    for (size_t count : {size_t{1}, size_t{8}, size_t{15}, air.Levels().size() - 1})
    {
        SCOPED_TRACE(count);
        EXPECT_TRUE(dec.Keys(air.Cut(count).Ended()).empty());
        ExpectKey(dec.Keys(air.Ended()), RC_PROTO_RC5, 0x0535, 0);
    }
}

// RC-6: a 2664 us leader pulse and 888 us space, the start bit and three
// mode bits, the double-length trailer (toggle) bit, then the body; 444 us
// halves, a 1 pulse first.
constexpr uint32_t kRc6Unit = 444;

Air Rc6(uint32_t mode, uint32_t trailer, uint64_t body, int bits)
{
    return Air()
        .Pulse(6 * kRc6Unit)
        .Space(2 * kRc6Unit)
        .Manchester(0x8 | mode, 4, kRc6Unit, true)
        .Manchester(trailer, 1, 2 * kRc6Unit, true)
        .Manchester(body, bits, kRc6Unit, true);
}

TEST(RcDecodeRc6, TakesTheToggleFromTheHeaderOrFromAnMceBody)
{
    struct
    {
        const char* what;
        Air air;
        uint16_t proto;
        uint64_t scancode;
        uint8_t toggle;
    } const cases[] = {
        {"mode 0", Rc6(0, 0, 0x0C0D, 16), RC_PROTO_RC6_0, 0x0C0D, 0},
        {"mode 0 toggled", Rc6(0, 1, 0x0C0D, 16), RC_PROTO_RC6_0, 0x0C0D, 1},
        {"6a-20", Rc6(6, 0, 0xA5C0D, 20), RC_PROTO_RC6_6A_20, 0xA5C0D, 0},
        {"6a-24", Rc6(6, 0, 0xC15C8D, 24), RC_PROTO_RC6_6A_24, 0xC15C8D, 0},
        {"6a-32, no MCE customer: bit 15 is the scancode's", Rc6(6, 0, 0x12348C0D, 32), RC_PROTO_RC6_6A_32, 0x12348C0D,
         0},
        {"mce", Rc6(6, 0, 0x800F040E, 32), RC_PROTO_RC6_MCE, 0x800F040E, 0},
        {"mce toggled", Rc6(6, 0, 0x800F840E, 32), RC_PROTO_RC6_MCE, 0x800F040E, 1},
        {"zotac toggled", Rc6(6, 0, 0x80348001, 32), RC_PROTO_RC6_MCE, 0x80340001, 1},
        {"kathrein toggled", Rc6(6, 0, 0x8046FFFF, 32), RC_PROTO_RC6_MCE, 0x80467FFF, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        Decoder<rc_dec_rc6> dec(rc_dec_rc6_feed);
        ExpectKey(dec.Keys(c.air.Ended()), c.proto, c.scancode, c.toggle);
        ExpectKey(dec.Keys(Biased(c.air.Ended(), 150)), c.proto, c.scancode, c.toggle);
    }
}

TEST(RcDecodeRc6, FramesOfNoKnownModeOrLengthAreNoKey)
{
    struct
    {
        const char* what;
        Air air;
    } const cases[] = {
        {"mode 6 with its trailer bit set", Rc6(6, 1, 0x800F040E, 32)},
        {"mode 3", Rc6(3, 0, 0x0C0D, 16)},
        {"6a of 16 bits", Rc6(6, 0, 0x0C0D, 16)},
        {"6a of 36 bits", Rc6(6, 0, 0x800F040E1ull, 36)},
        {"no start bit", Air()
                             .Pulse(2664)
                             .Space(888)
                             .Manchester(0x0, 4, kRc6Unit, true)
                             .Manchester(0, 1, 888, true)
                             .Manchester(0x0C0D, 16, kRc6Unit, true)},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        Decoder<rc_dec_rc6> dec(rc_dec_rc6_feed);
        EXPECT_TRUE(dec.Keys(c.air.Ended()).empty());
    }
}

TEST(RcDecodeRc6, TakesTheLeaderWithinAUnitAndTheRestWithinHalfOne)
{
    // Mode 6A, 20 bits ending in a 0, so that the closing space stands alone.
    const Air air = Rc6(6, 0, 0xA5C0C, 20);
    struct
    {
        const char* what;
        size_t index;
        uint32_t us;
        bool key;
    } const cases[] = {
        {"leader pulse just long enough", 0, 2221, true},   {"leader pulse too short", 0, 2220, false},
        {"leader pulse just short enough", 0, 3107, true},  {"leader pulse too long", 0, 3108, false},
        {"leader space just long enough", 1, 667, true},    {"leader space too short", 1, 666, false},
        {"leader space just short enough", 1, 1109, true},  {"leader space too long", 1, 1110, false},
        {"start bit just long enough", 2, 223, true},       {"start bit too short", 2, 222, false},
        {"start bit just short enough", 2, 665, true},      {"start bit too long", 2, 666, false},
        {"closing space just long enough", 41, 2443, true}, {"closing space too short", 41, 2442, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<rc_ir_event> events = air.Ended();
        ASSERT_EQ(events.size(), 42u);
        events[c.index].duration_us = c.us;
        Decoder<rc_dec_rc6> dec(rc_dec_rc6_feed);
        EXPECT_EQ(dec.Keys(events).size(), c.key ? 1u : 0u);
    }
}

TEST(RcDecodeRc6, AFrameCutShortIsNoKeyAndTheNextFrameIsRead)
{
    const Air air = Rc6(0, 1, 0x0C0D, 16);
    Decoder<rc_dec_rc6> dec(rc_dec_rc6_feed);
    for (size_t count : {1u, 2u, 9u, 20u})
    {
        SCOPED_TRACE(count);
        EXPECT_TRUE(dec.Keys(air.Cut(count).Ended()).empty());
        ExpectKey(dec.Keys(air.Ended()), RC_PROTO_RC6_0, 0x0C0D, 1);
    }
}

// iMON: a 416 us pulse, then bits 30 down to 0, each a check unit and the
// bit's own (a pulse for 0). The check unit is a pulse only for the bits
// in kImonCheckBits, and only when the bit and the one before are both 0.
constexpr uint32_t kImonUnit = 416;
constexpr uint32_t kImonCheckBits = 0x437F7E00;

Air Imon(uint32_t scancode)
{
    Air air;
    air.Pulse(kImonUnit);
    for (int bit = 30; bit >= 0; --bit)
    {
        const uint32_t two = (scancode >> bit) & 3;
        air.Level(((kImonCheckBits >> bit) & 1) && two == 0, kImonUnit);
        air.Level(!((scancode >> bit) & 1), kImonUnit);
    }
    return air;
}

TEST(RcDecodeImon, TheStickMovesAsArrowKeysWhileItsKeyboardModeIsOn)
{
    constexpr uint32_t kModeKey = 0x299115B7;
    constexpr uint32_t kRightMore = 0x682040B7;  // x +2, y +1
    constexpr uint32_t kUpMore = 0x694038B7;     // x +1, y -2
    constexpr uint32_t kXOnly = 0x684000B7;      // x +1, y 0
    constexpr uint32_t kDownMore = 0x684020B7;   // x +1, y +2
    constexpr uint32_t kTie = 0x6A7840B7;        // x -1, y +1
    struct
    {
        uint32_t sent;
        uint32_t scancode;
    } const presses[] = {
        {kRightMore, kRightMore},                            // mouse mode: as sent
        {kModeKey, kModeKey},     {kRightMore, 0x2BA515B7},  // KEY_RIGHT
        {kUpMore, 0x2AA515B7},                               // KEY_UP
        {kDownMore, 0x289515B7},                             // KEY_DOWN
        {kTie, 0x29A515B7},                                  // KEY_LEFT: a tie goes to the horizontal
        {kXOnly, kXOnly},                                    // one axis alone stays a move
        {kModeKey, kModeKey},     {kUpMore, kUpMore},
    };
    for (uint32_t bias_us : {0u, 100u})
    {
        Decoder<rc_dec_imon> dec(rc_dec_imon_feed);
        for (const auto& p : presses)
        {
            SCOPED_TRACE(::testing::Message() << std::hex << p.sent << " bias " << std::dec << bias_us);
            ExpectKey(dec.Keys(Biased(Imon(p.sent).Ended(), bias_us)), RC_PROTO_IMON, p.scancode, 0);
        }
    }
}

TEST(RcDecodeImon, AfterAnErrorWaitsForMoreThanTenMillisecondsOfSpace)
{
    // A pulse of four units sets a check unit that must be a space.
    struct
    {
        uint32_t gap_us;
        bool key;
    } const cases[] = {{10000, false}, {10001, true}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.gap_us);
        Decoder<rc_dec_imon> dec(rc_dec_imon_feed);
        const std::vector<rc_ir_event> broken = {{4 * kImonUnit, 1, 0, 0}, {c.gap_us, 0, 0, 0}};
        EXPECT_EQ(dec.Keys(Then(broken, Imon(0x2A8195B7).Ended())).size(), c.key ? 1u : 0u);
        ExpectKey(dec.Keys(Imon(0x2A8195B7).Ended()), RC_PROTO_IMON, 0x2A8195B7, 0);
    }
}

TEST(RcDecodeImon, AFrameCutShortReadsAsItsLowBitsSet)
{
    // No end marks a frame: the time-out's silence is read as 1 bits, so a
    // frame cut after a pulse is a key all the same, as in the kernel. Its
    // last pulse is always a 0 bit's own unit, any check unit before it.
    const uint32_t scancode = 0x2A8195B6;
    const Air air = Imon(scancode);
    struct
    {
        size_t count;
        uint32_t scancode;
    } const cases[] = {{3, 0x2FFFFFFF}, {9, 0x2A81FFFF}, {19, 0x2A8195B7}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.count);
        ASSERT_TRUE(air.Cut(c.count).Levels().back().pulse);
        Decoder<rc_dec_imon> dec(rc_dec_imon_feed);
        ExpectKey(dec.Keys(air.Cut(c.count).Ended()), RC_PROTO_IMON, c.scancode, 0);
    }
}

// MCE keyboard: a 2664 us leader pulse, five header bits (the low four say
// keyboard 0x4 or mouse 0x1), then 32 or 29 body bits; 333 us halves, a 1
// pulse first.
constexpr uint32_t kMceUnit = 333;

Air Mce(uint32_t header, uint32_t body, int bits)
{
    return Air().Pulse(8 * kMceUnit).Manchester(header, 5, kMceUnit, true).Manchester(body, bits, kMceUnit, true);
}

TEST(RcDecodeMceKbd, TheHeaderSaysKeyboardOrMouseAndTheBodysTopByteIsDropped)
{
    struct
    {
        const char* what;
        Air air;
        bool key;
        uint16_t proto;
        uint64_t scancode;
    } const cases[] = {
        {"keyboard", Mce(0x04, 0x5A000400, 32), true, RC_PROTO_MCIR2_KBD, 0x000400},
        {"mouse", Mce(0x01, 0x1A1F30A5, 29), true, RC_PROTO_MCIR2_MSE, 0x1F30A5},
        {"neither", Mce(0x02, 0x00041402, 32), false, 0, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        Decoder<rc_dec_mce_kbd> dec(rc_dec_mce_kbd_feed);
        if (!c.key)
        {
            EXPECT_TRUE(dec.Keys(c.air.Ended()).empty());
            continue;
        }
        ExpectKey(dec.Keys(c.air.Ended()), c.proto, c.scancode, 0);
        ExpectKey(dec.Keys(Biased(c.air.Ended(), 150)), c.proto, c.scancode, 0);
    }
}

TEST(RcDecodeMceKbd, TakesTheLeaderWithinAUnitAndNoLevelPastTheLongest)
{
    // The keyboard header starts with a 0, so its first space stands alone.
    const Air air = Mce(0x04, 0x00041402, 32);
    struct
    {
        const char* what;
        size_t index;
        uint32_t us;
        bool key;
    } const cases[] = {
        {"leader just long enough", 0, 2332, true},      {"leader too short", 0, 2331, false},
        {"leader just short enough", 0, 2996, true},     {"leader too long", 0, 2997, false},
        {"a bit's level at the longest", 1, 833, true},  {"a bit's level past it", 1, 834, false},
        {"a bit's level at the shortest", 1, 168, true}, {"a bit's level too short", 1, 167, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<rc_ir_event> events = air.Ended();
        events[c.index].duration_us = c.us;
        Decoder<rc_dec_mce_kbd> dec(rc_dec_mce_kbd_feed);
        EXPECT_EQ(dec.Keys(events).size(), c.key ? 1u : 0u);
    }
}

TEST(RcDecodeMceKbd, AFrameCutShortIsNoKeyAndTheNextFrameIsRead)
{
    const Air air = Mce(0x01, 0x1F30A5, 29);
    Decoder<rc_dec_mce_kbd> dec(rc_dec_mce_kbd_feed);
    for (size_t count : {1u, 6u, 30u})
    {
        SCOPED_TRACE(count);
        EXPECT_TRUE(dec.Keys(air.Cut(count).Ended()).empty());
        ExpectKey(dec.Keys(air.Ended()), RC_PROTO_MCIR2_MSE, 0x1F30A5, 0);
    }
}

TEST(RcDecodeB, AnOverflowStartsEveryDecoderOver)
{
    const rc_ir_event overflow = {0, 0, 0, 1};
    const std::vector<rc_ir_event> rc5 = Rc5(0x05, 0x35, 0).Ended();
    const std::vector<rc_ir_event> rc6 = Rc6(0, 0, 0x0C0D, 16).Ended();
    const std::vector<rc_ir_event> imon = Imon(0x2A8195B7).Ended();
    const std::vector<rc_ir_event> mce = Mce(0x04, 0x00041402, 32).Ended();
    auto broken = [&](const std::vector<rc_ir_event>& frame) {
        std::vector<rc_ir_event> events(frame.begin(), frame.begin() + 6);
        events.push_back(overflow);
        events.insert(events.end(), frame.begin() + 6, frame.end());
        return events;
    };
    Decoder<rc_dec_rc5> dec5(rc_dec_rc5_feed);
    Decoder<rc_dec_rc6> dec6(rc_dec_rc6_feed);
    Decoder<rc_dec_imon> decImon(rc_dec_imon_feed);
    Decoder<rc_dec_mce_kbd> decMce(rc_dec_mce_kbd_feed);
    EXPECT_TRUE(dec5.Keys(broken(rc5)).empty());
    EXPECT_TRUE(dec6.Keys(broken(rc6)).empty());
    EXPECT_TRUE(decMce.Keys(broken(mce)).empty());
    EXPECT_EQ(dec5.Keys(rc5).size(), 1u);
    EXPECT_EQ(dec6.Keys(rc6).size(), 1u);
    EXPECT_EQ(decMce.Keys(mce).size(), 1u);
    // iMON takes the rest of a frame broken by an overflow as a frame of
    // its own, from its next pulse; after the kernel's error state an
    // overflow restarts it at once.
    EXPECT_EQ(decImon.Keys(Then({{4 * kImonUnit, 1, 0, 0}, overflow}, imon)).size(), 1u);
}

}  // namespace
