// The raw IR decoders of NEC, JVC, Sony, Sanyo and Sharp on hand-built
// frames: what the kernel's own decoders of Debian's 6.1 take at the edges
// of their margins, with a receiver's bias, cut short, and their repeats
// and toggle. Whole frames through the kernel itself are the VM tests'.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

extern "C" {
#include "rc_dec_jvc.h"
#include "rc_dec_nec.h"
#include "rc_dec_sanyo.h"
#include "rc_dec_sharp.h"
#include "rc_dec_sony.h"
#include "rc_record.h"
}

namespace {

// Durations in microseconds, pulse first, then alternately space, pulse...
using Frame = std::vector<uint32_t>;

struct Decoder
{
    const char* pszName;
    rc_ir_feed_fn feed;
};
const Decoder kNec = {"NEC", rc_dec_nec_feed};
const Decoder kJvc = {"JVC", rc_dec_jvc_feed};
const Decoder kSony = {"Sony", rc_dec_sony_feed};
const Decoder kSanyo = {"Sanyo", rc_dec_sanyo_feed};
const Decoder kSharp = {"Sharp", rc_dec_sharp_feed};

union AnyState
{
    rc_dec_nec nec;
    rc_dec_jvc jvc;
    rc_dec_sony sony;
    rc_dec_sanyo sanyo;
    rc_dec_sharp sharp;
};

struct Key
{
    uint16_t proto;
    uint64_t scancode;
    uint8_t toggle;
    uint8_t repeat;
};
const Key kRepeat = {0, 0, 0, 1};

bool operator==(const Key& a, const Key& b)
{
    if (a.repeat || b.repeat)
        return a.repeat == b.repeat;  // a repeat names no key of its own
    return a.proto == b.proto && a.scancode == b.scancode && a.toggle == b.toggle;
}

std::ostream& operator<<(std::ostream& os, const Key& key)
{
    if (key.repeat)
        return os << "repeat";
    return os << "proto " << key.proto << " scancode 0x" << std::hex << key.scancode << std::dec << " toggle "
              << int(key.toggle);
}

// The frames one after the other into a fresh decoder, the last space as
// the receiver's time-out report; an empty frame stands for an overflow.
std::vector<Key> Decode(const Decoder& decoder, const std::vector<Frame>& frames)
{
    AnyState state;
    std::memset(&state, 0, sizeof state);
    std::vector<Key> keys;
    for (size_t nFrame = 0; nFrame < frames.size(); ++nFrame)
    {
        std::vector<rc_ir_event> events;
        if (frames[nFrame].empty())
            events.push_back(rc_ir_event{0, 0, 0, 1});
        for (size_t i = 0; i < frames[nFrame].size(); ++i)
        {
            const bool bLast = nFrame + 1 == frames.size() && i + 1 == frames[nFrame].size();
            events.push_back(rc_ir_event{frames[nFrame][i], uint8_t(i % 2 == 0), uint8_t(bLast && i % 2), 0});
        }
        for (const rc_ir_event& event : events)
        {
            rc_ir_key out = {};
            if (decoder.feed(&state, event, &out))
                keys.push_back(Key{out.proto, out.scancode, out.toggle, out.repeat});
        }
    }
    return keys;
}

// Pulse-distance coding, the data sent low bit first; a header pulse of 0: no header.
Frame PulseDistance(uint32_t headerPulse, uint32_t headerSpace, uint32_t pulse, uint32_t zero, uint32_t one,
                    uint64_t data, int nBits, uint32_t gap)
{
    Frame us;
    if (headerPulse)
        us = {headerPulse, headerSpace};
    for (int i = 0; i < nBits; ++i)
        us.insert(us.end(), {pulse, (data >> i) & 1 ? one : zero});
    us.insert(us.end(), {pulse, gap});
    return us;
}

Frame Nec(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3, uint32_t header = 9000)
{
    const uint32_t data = b0 | uint32_t(b1) << 8 | uint32_t(b2) << 16 | uint32_t(b3) << 24;
    return PulseDistance(header, 4500, 560, 560, 1690, data, 32, 40000);
}
const Frame kNecRepeat = {9000, 2250, 560, 96000};
// NEC-X's own repeat: its header, one bit, and a trailer-long space.
const Frame kNecxRepeat = {4500, 4500, 560, 1690, 560, 40000};

Frame Jvc(uint8_t address, uint8_t command, bool bHeader = true)
{
    Frame us = PulseDistance(8400, 4200, 525, 525, 1575, address | command << 8, 16, 25000);
    if (!bHeader)
        us.erase(us.begin(), us.begin() + 2);
    return us;
}

// Pulse-length coding after a 2.4 ms header: 7 bits of function, then the
// device, then Sony20's extension, low bit first.
Frame Sony(uint32_t data, int nBits)
{
    Frame us = {2400};
    for (int i = 0; i < nBits; ++i)
        us.insert(us.end(), {600, (data >> i) & 1 ? 1200u : 600u});
    us.push_back(25000);
    return us;
}
Frame Sony12(uint8_t device, uint8_t function)
{
    return Sony(function | uint32_t(device) << 7, 12);
}
Frame Sony15(uint8_t device, uint8_t function)
{
    return Sony(function | uint32_t(device) << 7, 15);
}
Frame Sony20(uint8_t device, uint8_t extension, uint8_t function)
{
    return Sony(function | uint32_t(device) << 7 | uint32_t(extension) << 12, 20);
}

Frame Sanyo(uint16_t address, uint8_t command, uint16_t notAddress, uint8_t notCommand)
{
    const uint64_t data =
        address | uint64_t(notAddress & 0x1FFF) << 13 | uint64_t(command) << 26 | uint64_t(notCommand) << 34;
    return PulseDistance(9000, 4500, 560, 560, 1690, data, 42, 40000);
}
Frame Sanyo(uint16_t address, uint8_t command)
{
    return Sanyo(address, command, uint16_t(~address), uint8_t(~command));
}
const Frame kSanyoRepeat = {9000, 4500, 560, 90000};

// Address, command, expansion and check bits, then 40 ms on the echo with
// the command and the last two inverted unless told otherwise.
Frame Sharp(uint8_t address, uint8_t command, unsigned checkBits = 1, unsigned echoCheckBits = 2)
{
    const auto word = [&](uint8_t cmd, unsigned check) { return (address & 0x1Fu) | cmd << 5 | check << 13; };
    Frame us = PulseDistance(0, 0, 320, 680, 1680, word(command, checkBits), 15, 40000);
    const Frame echo = PulseDistance(0, 0, 320, 680, 1680, word(uint8_t(~command), echoCheckBits), 15, 40000);
    us.insert(us.end(), echo.begin(), echo.end());
    return us;
}

// A receiver's usual bias: pulses longer, spaces shorter by as much.
Frame Biased(Frame us, uint32_t by)
{
    for (size_t i = 0; i < us.size(); ++i)
        us[i] = i % 2 == 0 ? us[i] + by : us[i] - by;
    return us;
}

Frame With(Frame us, size_t at, uint32_t duration)
{
    us.at(at) = duration;
    return us;
}

// Its first n durations, the last a pulse, then the time-out report.
Frame Cut(Frame us, size_t n)
{
    EXPECT_EQ(1u, n % 2);
    us.resize(n);
    us.push_back(100000);
    return us;
}

struct Case
{
    const char* pszWhat;
    const Decoder& decoder;
    std::vector<Frame> frames;
    std::vector<Key> keys;
};

void Check(const Case& c)
{
    SCOPED_TRACE(std::string(c.decoder.pszName) + ": " + c.pszWhat);
    EXPECT_EQ(c.keys, Decode(c.decoder, c.frames));
}

const Key kNecKey = {RC_PROTO_NEC, 0x0408, 0, 0};
const Key kNecxKey = {RC_PROTO_NECX, 0x041208, 0, 0};
const Key kJvcKey = {RC_PROTO_JVC, 0x0312, 1, 0};
const Key kSanyoKey = {RC_PROTO_SANYO, 0x1C0D25, 0, 0};
const Key kSharpKey = {RC_PROTO_SHARP, 0x1523, 0, 0};

// Each variant's scancode as the kernel lays it out, sent as the remote
// times it and as a receiver that stretches pulses by 150 us sees it.
TEST(RcDecode, EachVariantsScancodeAlsoWithTheReceiversBias)
{
    const struct
    {
        const char* pszWhat;
        const Decoder& decoder;
        Frame frame;
        Key key;
    } variants[] = {
        {"NEC", kNec, Nec(0x04, 0xFB, 0x08, 0xF7), kNecKey},
        {"NEC-X, the address not inverted", kNec, Nec(0x04, 0x12, 0x08, 0xF7), kNecxKey},
        {"NEC-X with its short header", kNec, Nec(0x04, 0x12, 0x08, 0xF7, 4500), kNecxKey},
        {"32-bit NEC, the command not inverted", kNec, Nec(0xE5, 0x87, 0x2C, 0xFE), {RC_PROTO_NEC32, 0x87E5FE2C, 0, 0}},
        {"JVC, the toggle set at the first header", kJvc, Jvc(0x03, 0x12), kJvcKey},
        {"Sony12", kSony, Sony12(0x01, 0x15), {RC_PROTO_SONY12, 0x010015, 0, 0}},
        {"Sony15", kSony, Sony15(0xA4, 0x33), {RC_PROTO_SONY15, 0xA40033, 0, 0}},
        {"Sony20", kSony, Sony20(0x1A, 0x7F, 0x54), {RC_PROTO_SONY20, 0x1A7F54, 0, 0}},
        {"Sanyo", kSanyo, Sanyo(0x1C0D, 0x25), kSanyoKey},
        {"Sharp", kSharp, Sharp(0x15, 0x23), kSharpKey},
        {"Sharp, Denon's check bits", kSharp, Sharp(0x15, 0x23, 0, 3), kSharpKey},
    };
    for (const auto& v : variants)
        for (uint32_t bias : {0u, 150u})
        {
            SCOPED_TRACE(std::string(v.pszWhat) + ", bias " + std::to_string(bias));
            EXPECT_EQ(std::vector<Key>{v.key}, Decode(v.decoder, {Biased(v.frame, bias)}));
        }
}

// Each duration just inside its margin is taken, just outside it breaks the
// frame (the kernel's margins are open at both ends).
TEST(RcDecode, MarginsJustInsideAndJustOutside)
{
    const Frame nec = Nec(0x01, 0xFE, 0x08, 0xF7);  // its first bit a 1, its second a 0
    const Frame necx = Nec(0x01, 0x12, 0x08, 0xF7, 4500);
    const Frame jvc = Jvc(0x01, 0x12);
    const Frame sony = Sony12(0x01, 0x15);  // its first bit a 1, its second a 0
    const Frame sanyo = Sanyo(0x0001, 0x25);
    const Frame sharp = Sharp(0x01, 0x23);
    const Key necKey = {RC_PROTO_NEC, 0x0108, 0, 0};
    const Key necxKey = {RC_PROTO_NECX, 0x011208, 0, 0};
    const Key jvcKey = {RC_PROTO_JVC, 0x0112, 1, 0};
    const Key sonyKey = {RC_PROTO_SONY12, 0x010015, 0, 0};
    const Key sanyoKey = {RC_PROTO_SANYO, 0x000125, 0, 0};
    const Key sharpKey = {RC_PROTO_SHARP, 0x0123, 0, 0};
    const size_t last = ~size_t(0);
    const struct
    {
        const char* pszWhat;
        const Decoder& decoder;
        Frame frame;
        size_t at;  // last: the frame's last duration
        uint32_t inside;
        uint32_t outside;
        Key key;
        Frame before = {};  // sent first, if any, and its key
        std::vector<Key> beforeKeys = {};
    } edges[] = {
        {"header pulse, short", kNec, nec, 0, 7883, 7882, necKey},
        {"header pulse, long", kNec, nec, 0, 10133, 10134, necKey},
        {"NEC-X's header pulse, short", kNec, necx, 0, 4224, 4223, necxKey},
        {"NEC-X's header pulse, long", kNec, necx, 0, 4784, 4785, necxKey},
        {"header space, short", kNec, nec, 1, 3942, 3941, necKey},
        {"header space, long", kNec, nec, 1, 5066, 5067, necKey},
        {"bit pulse, short", kNec, nec, 2, 283, 282, necKey},
        {"bit pulse, long", kNec, nec, 2, 843, 844, necKey},
        {"a 1's space, short", kNec, nec, 3, 1409, 1408, necKey},
        {"a 1's space, long", kNec, nec, 3, 1969, 1970, necKey},
        {"a 0's space, short", kNec, nec, 5, 283, 282, necKey},
        {"a 0's space, long", kNec, nec, 5, 843, 844, necKey},
        {"trailer space", kNec, nec, last, 5350, 5349, necKey},
        {"repeat code's space, short", kNec, kNecRepeat, 1, 1972, 1971, kRepeat},
        {"repeat code's space, long", kNec, kNecRepeat, 1, 2532, 2533, kRepeat},
        {"NEC-X repeat's space", kNec, kNecxRepeat, last, 5350, 5349, kRepeat, necx, {necxKey}},

        {"header pulse, short", kJvc, jvc, 0, 8139, 8138, jvcKey},
        {"header pulse, long", kJvc, jvc, 0, 8661, 8662, jvcKey},
        {"header space, short", kJvc, jvc, 1, 3939, 3938, jvcKey},
        {"header space, long", kJvc, jvc, 1, 4461, 4462, jvcKey},
        {"bit pulse, short", kJvc, jvc, 2, 264, 263, jvcKey},
        {"bit pulse, long", kJvc, jvc, 2, 786, 787, jvcKey},
        {"a 1's space, short", kJvc, jvc, 3, 1314, 1313, jvcKey},
        {"a 1's space, long", kJvc, jvc, 3, 1836, 1837, jvcKey},
        {"a 0's space, short", kJvc, jvc, 5, 264, 263, jvcKey},
        {"a 0's space, long", kJvc, jvc, 5, 786, 787, jvcKey},
        {"trailer space", kJvc, jvc, last, 18114, 18113, jvcKey},

        {"header pulse, short", kSony, sony, 0, 2101, 2100, sonyKey},
        {"header pulse, long", kSony, sony, 0, 2699, 2700, sonyKey},
        {"header space, short", kSony, sony, 1, 301, 300, sonyKey},
        {"header space, long", kSony, sony, 1, 899, 900, sonyKey},
        {"a 1's pulse, short", kSony, sony, 2, 901, 900, sonyKey},
        {"a 1's pulse, long", kSony, sony, 2, 1499, 1500, sonyKey},
        {"a 0's pulse, short", kSony, sony, 4, 301, 300, sonyKey},
        {"a 0's pulse, long", kSony, sony, 4, 899, 900, sonyKey},
        {"bit space, short", kSony, sony, 3, 301, 300, sonyKey},
        {"bit space, long: neither a bit's nor a frame's end", kSony, sony, 3, 900, 901, sonyKey},
        {"the space that ends the frame", kSony, sony, last, 6301, 6300, sonyKey},

        {"header pulse, short", kSanyo, sanyo, 0, 8728, 8727, sanyoKey},
        {"header pulse, long", kSanyo, sanyo, 0, 9288, 9289, sanyoKey},
        {"header space, short", kSanyo, sanyo, 1, 4224, 4223, sanyoKey},
        {"header space, long", kSanyo, sanyo, 1, 4784, 4785, sanyoKey},
        {"a 1's space, short", kSanyo, sanyo, 3, 1409, 1408, sanyoKey},
        {"trailer space", kSanyo, sanyo, last, 5350, 5349, sanyoKey},
        {"repeat's space", kSanyo, kSanyoRepeat, last, 84170, 84169, kRepeat},

        {"bit pulse, short", kSharp, sharp, 0, 161, 160, sharpKey},
        {"bit pulse, long", kSharp, sharp, 0, 479, 480, sharpKey},
        // A bit is read from its pulse and space together (here 320 + the space).
        {"a 1's period, short: a 0's", kSharp, sharp, 1, 1041, 1040, sharpKey},
        {"a 1's period, long", kSharp, sharp, 1, 2319, 2320, sharpKey},
        {"a 0's period, short", kSharp, sharp, 3, 41, 40, sharpKey},
        {"a 0's period, long: a 1's", kSharp, sharp, 3, 1040, 1041, sharpKey},
        {"echo's space, short", kSharp, sharp, 31, 30001, 30000, sharpKey},
        {"echo's space, long", kSharp, sharp, 31, 49999, 50000, sharpKey},
        {"a 1's period, short, its pulse stretched", kSharp, Biased(sharp, 150), 1, 891, 890, sharpKey},
        {"trailer space", kSharp, sharp, last, 4841, 4840, sharpKey},
    };
    for (const auto& e : edges)
    {
        const size_t at = e.at == last ? e.frame.size() - 1 : e.at;
        std::vector<Frame> frames;
        if (!e.before.empty())
            frames.push_back(e.before);
        frames.push_back(With(e.frame, at, e.inside));
        std::vector<Key> keys = e.beforeKeys;
        keys.push_back(e.key);
        Check({(std::string(e.pszWhat) + ", just inside").c_str(), e.decoder, frames, keys});
        frames.back() = With(e.frame, at, e.outside);
        Check({(std::string(e.pszWhat) + ", just outside").c_str(), e.decoder, frames, e.beforeKeys});
    }
}

// Checks the kernel makes of a whole frame, and those it does not make.
TEST(RcDecode, TakesOnlyFramesThatPassTheKernelsChecks)
{
    const Case cases[] = {
        {"the address's inverse is not checked", kSanyo, {Sanyo(0x1C0D, 0x25, 0x1C0D, 0xDA)}, {kSanyoKey}},
        {"the command's inverse is", kSanyo, {Sanyo(0x1C0D, 0x25, 0x03F2, 0x25)}, {}},
        {"expansion and check bits 0,1", kSharp, {Sharp(0x15, 0x23, 2, 1)}, {}},
        {"expansion and check bits 1,1", kSharp, {Sharp(0x15, 0x23, 3, 0)}, {}},
        {"the echo's check bits not inverted", kSharp, {Sharp(0x15, 0x23, 1, 1)}, {}},
        {"one of the echo's command bits wrong",
         kSharp,
         {[] {
             Frame us = Sharp(0x15, 0x23);
             us[32 + 2 * 5 + 1] = us[32 + 2 * 5 + 1] == 680 ? 1680 : 680;  // the echo's first command bit
             return us;
         }()},
         {}},
        {"a Sony frame of 13 bits", kSony, {Sony(0x0815, 13)}, {}},
    };
    for (const auto& c : cases)
        Check(c);
}

// Cut short by a time-out report or by samples lost: no key, and the next
// whole frame is taken.
TEST(RcDecode, AFrameCutShortIsNoKeyAndTheNextIsTaken)
{
    const Frame nec = Nec(0x04, 0xFB, 0x08, 0xF7);
    const Frame jvc = Jvc(0x03, 0x12);
    const Frame sanyo = Sanyo(0x1C0D, 0x25);
    const Frame sharp = Sharp(0x15, 0x23);
    const Key jvcAgain = {RC_PROTO_JVC, 0x0312, 0, 0};
    const Case cases[] = {
        {"the time-out in its last bit's space", kNec, {Cut(nec, 2 + 2 * 31 + 1), nec}, {kNecKey}},
        {"samples lost in the middle",
         kNec,
         {Frame(nec.begin(), nec.begin() + 40), {}, Frame(nec.begin() + 40, nec.end()), nec},
         {kNecKey}},
        {"the time-out in its last bit's space", kJvc, {Cut(jvc, 2 + 2 * 15 + 1), jvc}, {jvcAgain}},
        {"11 bits of 12",
         kSony,
         {Cut(Sony12(0x01, 0x15), 1 + 2 * 11), Sony12(0x01, 0x15)},
         {{RC_PROTO_SONY12, 0x010015, 0, 0}}},
        {"the time-out in its last bit's space", kSanyo, {Cut(sanyo, 2 + 2 * 41 + 1), sanyo}, {kSanyoKey}},
        {"a long time-out in its second bit's space, not a repeat",
         kSanyo,
         {Cut(sanyo, 2 + 2 * 1 + 1), sanyo},
         {kSanyoKey}},
        {"no echo", kSharp, {Cut(sharp, 31), sharp}, {kSharpKey}},
        {"the time-out in the echo's last bit's space", kSharp, {Cut(sharp, 32 + 2 * 14 + 1), sharp}, {kSharpKey}},
    };
    for (const auto& c : cases)
        Check(c);
}

// Repeats where the kernel's decoders report them. A decoder knows nothing
// of the key before, so where the kernel's takes a repeat code with no key
// before, it is a repeat all the same (the caller has no key to repeat).
TEST(RcDecode, RepeatsAndTheToggle)
{
    const Frame nec = Nec(0x04, 0xFB, 0x08, 0xF7);
    const Frame necx = Nec(0x04, 0x12, 0x08, 0xF7, 4500);
    const Key jvcNext = {RC_PROTO_JVC, 0x0312, 0, 0};
    const Key jvcOther = {RC_PROTO_JVC, 0x0313, 1, 0};
    const Case cases[] = {
        {"repeat code with no key before", kNec, {kNecRepeat}, {kRepeat}},
        {"repeat codes after a key", kNec, {nec, kNecRepeat, kNecRepeat}, {kNecKey, kRepeat, kRepeat}},
        {"NEC-X's repeats after a NEC-X key", kNec, {necx, kNecxRepeat, kNecxRepeat}, {kNecxKey, kRepeat, kRepeat}},
        {"NEC-X's repeat with no key before", kNec, {kNecxRepeat}, {}},
        {"NEC-X's repeat after a NEC key", kNec, {nec, kNecxRepeat}, {kNecKey}},
        // Its third bit's space is where the kernel gives up waiting for the repeat.
        {"NEC-X's repeat after a NEC-X frame cut at its third bit",
         kNec,
         {necx, Cut(necx, 2 + 2 * 2 + 1), kNecxRepeat},
         {kNecxKey}},
        {"NEC-X's repeat after a NEC-X key and a NEC one", kNec, {necx, nec, kNecxRepeat}, {kNecxKey, kNecKey}},
        {"NEC-X's repeat after the repeat code", kNec, {necx, kNecRepeat, kNecxRepeat}, {kNecxKey, kRepeat}},
        {"header-less frames after a key",
         kJvc,
         {Jvc(0x03, 0x12), Jvc(0x03, 0x12, false), Jvc(0x03, 0x12, false)},
         {kJvcKey, kRepeat, kRepeat}},
        {"a header-less frame with no key before", kJvc, {Jvc(0x03, 0x12, false)}, {}},
        {"a header-less frame of other bits",
         kJvc,
         {Jvc(0x03, 0x12), Jvc(0x03, 0x13, false), Jvc(0x03, 0x12, false)},
         {kJvcKey}},
        {"the toggle flips at each header",
         kJvc,
         {Jvc(0x03, 0x12), Jvc(0x03, 0x12, false), Jvc(0x03, 0x12), Jvc(0x03, 0x13)},
         {kJvcKey, kRepeat, jvcNext, jvcOther}},
        {"repeat with no key before", kSanyo, {kSanyoRepeat}, {kRepeat}},
        {"repeats after a key",
         kSanyo,
         {Sanyo(0x1C0D, 0x25), kSanyoRepeat, kSanyoRepeat},
         {kSanyoKey, kRepeat, kRepeat}},
    };
    for (const auto& c : cases)
        Check(c);
}

}  // namespace
