// The decoders of the protocols the kernel has no decoder for (Kaseikyo,
// Samsung36, RCA) on frames sent as their IRP definitions write them
// (RawFrames.h): random values over every field, as sent, with a remote's
// jitter and a receiver's bias; frames failing each check; and the kernel's
// protocols, which none of them may take for its own. Then their place in
// the table of families the raw IR goes through.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "RawFrames.h"

extern "C" {
#include "rc_decoders.h"
#include "rc_key.h"
#include "rc_record.h"
}

namespace {

using Frame = std::vector<uint32_t>;

struct Decoder
{
    const char* pszName;
    rc_ir_feed_fn feed;
};
const Decoder kKaseikyo = {"Kaseikyo", rc_dec_kaseikyo_feed};
const Decoder kSamsung36 = {"Samsung36", rc_dec_samsung36_feed};
const Decoder kRca = {"RCA", rc_dec_rca_feed};
const Decoder kOurs[] = {kKaseikyo, kSamsung36, kRca};

union AnyState
{
    rc_dec_kaseikyo kaseikyo;
    rc_dec_samsung36 samsung36;
    rc_dec_rca rca;
};

struct Key
{
    uint16_t proto;
    uint64_t scancode;
    bool operator==(const Key& other) const { return proto == other.proto && scancode == other.scancode; }
};

std::ostream& operator<<(std::ostream& os, const Key& key)
{
    return os << "proto " << key.proto << " scancode 0x" << std::hex << key.scancode << std::dec;
}

// The frames one after the other into a fresh decoder, the last space as
// the receiver's time-out report; an empty frame stands for an overflow.
// A key with toggle or repeat set is no key of these protocols: it shows
// as proto 0xFFFF.
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
                keys.push_back(out.toggle || out.repeat ? Key{0xFFFF, 0} : Key{out.proto, out.scancode});
        }
    }
    return keys;
}

// The scancodes as rc_dec_<name>.h lay them out.
Key KaseikyoKey(uint8_t m, uint8_t n, uint8_t d, uint8_t s, uint8_t f, uint8_t e)
{
    return {RC_PROTO_KASEIKYO,
            uint64_t(n) << 40 | uint64_t(m) << 32 | uint64_t(d) << 24 | uint64_t(s) << 16 | uint64_t(e) << 8 | f};
}
Key Samsung36Key(uint8_t d, uint8_t s, uint8_t e, uint8_t f)
{
    return {RC_PROTO_SAMSUNG36, uint64_t(d) << 24 | uint64_t(s) << 16 | uint64_t(e) << 8 | f};
}
Key RcaKey(uint8_t d, uint8_t f)
{
    return {RC_PROTO_RCA, uint64_t(d) << 8 | f};
}

// One frame of random values of each protocol, and its key.
struct Sent
{
    const Decoder& decoder;
    Frame frame;
    Key key;
};

std::vector<Sent> RandomFrames(std::mt19937* pRandom)
{
    std::uniform_int_distribution<int> byte(0, 255);
    const auto b = [&] { return uint8_t(byte(*pRandom)); };
    const auto nibble = [&] { return uint8_t(byte(*pRandom) & 0xF); };
    const uint8_t m = b(), n = b(), kd = nibble(), ks = b(), kf = b(), ke = nibble();
    const uint8_t sd = b(), ss = b(), se = nibble(), sf = b();
    const uint8_t rd = nibble(), rf = b();
    return {
        {kKaseikyo, rmtest::KaseikyoPulses(m, n, kd, ks, kf, ke), KaseikyoKey(m, n, kd, ks, kf, ke)},
        {kSamsung36, rmtest::Samsung36Pulses(sd, ss, se, sf, uint8_t(~sf)), Samsung36Key(sd, ss, se, sf)},
        {kRca, rmtest::RcaPulses(rd, rf, uint8_t(~rd), uint8_t(~rf)), RcaKey(rd, rf)},
    };
}

// How a frame reaches the decoder: as sent; off by up to 10% with pulses
// 100 us longer and spaces as much shorter; or with the 150 us bias alone.
struct Reception
{
    const char* pszWhat;
    double share;
    uint32_t biasUs;
};
const Reception kReceptions[] = {
    {"as sent", 0, 0}, {"jittered 10%, biased 100 us", 0.1, 100}, {"biased 150 us", 0, 150}};

// A held key: three frames, each a key; then another key's frame.
TEST(RcDecodeOurs, RandomValuesOfEveryFieldAsSentJitteredAndBiased)
{
    std::mt19937 random(60);
    for (int nRound = 0; nRound < 300; ++nRound)
    {
        const std::vector<Sent> first = RandomFrames(&random);
        const std::vector<Sent> next = RandomFrames(&random);
        for (size_t nProtocol = 0; nProtocol < first.size(); ++nProtocol)
            for (const Reception& r : kReceptions)
            {
                const Sent& sent = first[nProtocol];
                std::vector<Frame> frames;
                for (int i = 0; i < 3; ++i)
                    frames.push_back(rmtest::Received(sent.frame, &random, r.share, r.biasUs));
                frames.push_back(rmtest::Received(next[nProtocol].frame, &random, r.share, r.biasUs));
                std::vector<Key> keys(3, sent.key);
                keys.push_back(next[nProtocol].key);
                ASSERT_EQ(keys, Decode(sent.decoder, frames)) << sent.decoder.pszName << ", " << r.pszWhat;
            }
    }
}

Frame With(Frame us, size_t at, uint32_t duration)
{
    us.at(at) = duration;
    return us;
}

// Where each duration's margin ends (both bounds open, as the kernel
// compares): half a unit for one unit, a unit for a 1's space (and
// Kaseikyo's header space), a unit and a half for the rest of the headers
// and Samsung36's middle space; the space after the closing pulse at least
// ten units less half a unit.
TEST(RcDecodeOurs, MarginsJustInsideAndJustOutside)
{
    const Frame kaseikyo =
        rmtest::KaseikyoPulses(0x02, 0x20, 0x8, 0x00, 0x3D, 0xD);                  // its first bit a 0, its second a 1
    const Frame samsung36 = rmtest::Samsung36Pulses(0x07, 0x07, 0x0, 0x02, 0xFD);  // its first bit a 1, its fourth a 0
    const Frame rca = rmtest::RcaPulses(0x5, 0x2A, 0xA, 0xD5);                     // its first bit a 0, its second a 1
    const Key kaseikyoKey = KaseikyoKey(0x02, 0x20, 0x8, 0x00, 0x3D, 0xD);
    const Key samsung36Key = Samsung36Key(0x07, 0x07, 0x0, 0x02);
    const Key rcaKey = RcaKey(0x5, 0x2A);
    const size_t last = ~size_t(0);
    const struct
    {
        const char* pszWhat;
        const Decoder& decoder;
        const Frame& frame;
        size_t at;  // last: the frame's last duration
        uint32_t inside;
        uint32_t outside;
        Key key;
    } edges[] = {
        {"header pulse, short", kKaseikyo, kaseikyo, 0, 2809, 2808, kaseikyoKey},
        {"header pulse, long", kKaseikyo, kaseikyo, 0, 4103, 4104, kaseikyoKey},
        {"header space, short", kKaseikyo, kaseikyo, 1, 1297, 1296, kaseikyoKey},
        {"header space, long", kKaseikyo, kaseikyo, 1, 2159, 2160, kaseikyoKey},
        {"bit pulse, short", kKaseikyo, kaseikyo, 2, 217, 216, kaseikyoKey},
        {"bit pulse, long", kKaseikyo, kaseikyo, 2, 647, 648, kaseikyoKey},
        {"a 0's space, short", kKaseikyo, kaseikyo, 3, 217, 216, kaseikyoKey},
        {"a 0's space, long", kKaseikyo, kaseikyo, 3, 647, 648, kaseikyoKey},
        {"a 1's space, short", kKaseikyo, kaseikyo, 5, 865, 864, kaseikyoKey},
        {"a 1's space, long", kKaseikyo, kaseikyo, 5, 1727, 1728, kaseikyoKey},
        {"closing pulse, long", kKaseikyo, kaseikyo, kaseikyo.size() - 2, 647, 648, kaseikyoKey},
        {"trailer space", kKaseikyo, kaseikyo, last, 4105, 4104, kaseikyoKey},

        {"header pulse, short", kSamsung36, samsung36, 0, 3661, 3660, samsung36Key},
        {"header pulse, long", kSamsung36, samsung36, 0, 5339, 5340, samsung36Key},
        {"header space, short", kSamsung36, samsung36, 1, 3661, 3660, samsung36Key},
        {"header space, long", kSamsung36, samsung36, 1, 5339, 5340, samsung36Key},
        {"bit pulse, long", kSamsung36, samsung36, 2, 839, 840, samsung36Key},
        {"a 1's space, short", kSamsung36, samsung36, 3, 1121, 1120, samsung36Key},
        {"a 1's space, long", kSamsung36, samsung36, 3, 2239, 2240, samsung36Key},
        {"a 0's space, short", kSamsung36, samsung36, 9, 281, 280, samsung36Key},
        {"a 0's space, long", kSamsung36, samsung36, 9, 839, 840, samsung36Key},
        {"middle pulse, long", kSamsung36, samsung36, 2 + 2 * 16, 839, 840, samsung36Key},
        {"middle space, short", kSamsung36, samsung36, 2 + 2 * 16 + 1, 4201, 4200, samsung36Key},
        {"middle space, long", kSamsung36, samsung36, 2 + 2 * 16 + 1, 5879, 5880, samsung36Key},
        {"trailer space", kSamsung36, samsung36, last, 5321, 5320, samsung36Key},

        {"header pulse, short", kRca, rca, 0, 2991, 2990, rcaKey},
        {"header pulse, long", kRca, rca, 0, 4369, 4370, rcaKey},
        {"header space, short", kRca, rca, 1, 2991, 2990, rcaKey},
        {"header space, long", kRca, rca, 1, 4369, 4370, rcaKey},
        {"bit pulse, short", kRca, rca, 2, 231, 230, rcaKey},
        {"bit pulse, long", kRca, rca, 2, 689, 690, rcaKey},
        {"a 0's space, short", kRca, rca, 3, 691, 690, rcaKey},
        {"a 0's space, long", kRca, rca, 3, 1149, 1150, rcaKey},
        {"a 1's space, short", kRca, rca, 5, 1381, 1380, rcaKey},
        {"a 1's space, long", kRca, rca, 5, 2299, 2300, rcaKey},
        {"trailer space", kRca, rca, last, 4371, 4370, rcaKey},
    };
    for (const auto& e : edges)
    {
        SCOPED_TRACE(std::string(e.decoder.pszName) + ": " + e.pszWhat);
        const size_t at = e.at == last ? e.frame.size() - 1 : e.at;
        EXPECT_EQ(std::vector<Key>{e.key}, Decode(e.decoder, {With(e.frame, at, e.inside)})) << "just inside";
        EXPECT_EQ(std::vector<Key>{}, Decode(e.decoder, {With(e.frame, at, e.outside)})) << "just outside";
    }
}

// A frame with one more bit before its closing pulse, or one fewer.
Frame OneBitMore(Frame us, uint32_t pulse, uint32_t space)
{
    us.insert(us.end() - 2, {pulse, space});
    return us;
}
Frame OneBitFewer(Frame us)
{
    us.erase(us.end() - 4, us.end() - 2);
    return us;
}
// Its first n durations, the last a pulse, then the time-out report.
Frame Cut(Frame us, size_t n)
{
    us.resize(n);
    us.push_back(100000);
    return us;
}

// Each check refuses a frame failing it, and only that frame; a frame of
// another length, or cut short, is no key and leaves the next one whole.
TEST(RcDecodeOurs, FramesFailingAChecksOrOfAnotherLengthAreNoKey)
{
    const uint8_t m = 0x02, n = 0x20, d = 0x8, s = 0x00, f = 0x3D, e = 0xD;
    const Frame kaseikyo = rmtest::KaseikyoPulses(m, n, d, s, f, e);
    const Frame samsung36 = rmtest::Samsung36Pulses(0x07, 0x07, 0x0, 0x02, 0xFD);
    const Frame rca = rmtest::RcaPulses(0xF, 0x2A, 0x0, 0xD5);
    const Key kaseikyoKey = KaseikyoKey(m, n, d, s, f, e);
    const Key samsung36Key = Samsung36Key(0x07, 0x07, 0x0, 0x02);
    const Key rcaKey = RcaKey(0xF, 0x2A);
    const uint8_t x = rmtest::KaseikyoX(m, n), c = rmtest::KaseikyoC(d, s, f, e);
    const struct
    {
        const char* pszWhat;
        const Decoder& decoder;
        std::vector<Frame> frames;
        std::vector<Key> keys;
    } cases[] = {
        {"Panasonic's, both parities right", kKaseikyo, {kaseikyo}, {kaseikyoKey}},
        {"X a bit off", kKaseikyo, {rmtest::KaseikyoPulses(m, n, x ^ 1, d, s, f, e, c)}, {}},
        {"X right for other nibbles of M and N",
         kKaseikyo,
         {rmtest::KaseikyoPulses(m, n, rmtest::KaseikyoX(m ^ 0x30, n), d, s, f, e, c)},
         {}},
        {"C a bit off", kKaseikyo, {rmtest::KaseikyoPulses(m, n, x, d, s, f, e, c ^ 8)}, {}},
        {"C without E", kKaseikyo, {rmtest::KaseikyoPulses(m, n, x, d, s, f, e, rmtest::KaseikyoC(d, s, f, 0))}, {}},
        {"49 bits", kKaseikyo, {OneBitMore(kaseikyo, 432, 1296)}, {}},
        {"47 bits", kKaseikyo, {OneBitFewer(kaseikyo)}, {}},
        {"cut in its last bit, then whole", kKaseikyo, {Cut(kaseikyo, 2 + 2 * 47 + 1), kaseikyo}, {kaseikyoKey}},
        {"samples lost, then whole",
         kKaseikyo,
         {Frame(kaseikyo.begin(), kaseikyo.begin() + 40), {}, Frame(kaseikyo.begin() + 40, kaseikyo.end()), kaseikyo},
         {kaseikyoKey}},

        {"~F right", kSamsung36, {samsung36}, {samsung36Key}},
        {"~F a bit off", kSamsung36, {rmtest::Samsung36Pulses(0x07, 0x07, 0x0, 0x02, 0xBD)}, {}},
        {"~F not inverted", kSamsung36, {rmtest::Samsung36Pulses(0x07, 0x07, 0x0, 0x02, 0x02)}, {}},
        {"37 bits", kSamsung36, {OneBitMore(samsung36, 560, 1680)}, {}},
        {"35 bits", kSamsung36, {OneBitFewer(samsung36)}, {}},
        {"no space after 16 bits",
         kSamsung36,
         {[&] {
             Frame us = samsung36;
             us.erase(us.begin() + 2 + 2 * 16, us.begin() + 2 + 2 * 16 + 2);  // the middle pulse and space
             return us;
         }()},
         {}},
        {"the space after 16 bits a 1's", kSamsung36, {With(samsung36, 2 + 2 * 16 + 1, 1680)}, {}},
        {"cut in its last bit, then whole", kSamsung36, {Cut(samsung36, 2 + 2 * 36 + 1), samsung36}, {samsung36Key}},

        {"~D and ~F right", kRca, {rca}, {rcaKey}},
        {"~D a bit off", kRca, {rmtest::RcaPulses(0xF, 0x2A, 0x1, 0xD5)}, {}},
        {"~F a bit off", kRca, {rmtest::RcaPulses(0xF, 0x2A, 0x0, 0xD4)}, {}},
        {"~D not inverted", kRca, {rmtest::RcaPulses(0xF, 0x2A, 0xF, 0xD5)}, {}},
        {"25 bits", kRca, {OneBitMore(rca, 460, 1840)}, {}},
        {"23 bits", kRca, {OneBitFewer(rca)}, {}},
        {"cut in its last bit, then whole", kRca, {Cut(rca, 2 + 2 * 23 + 1), rca}, {rcaKey}},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(std::string(test.decoder.pszName) + ": " + test.pszWhat);
        EXPECT_EQ(test.keys, Decode(test.decoder, test.frames));
    }
}

// The kernel's protocols, as their IRP definitions write them.
Frame Nec(uint8_t d, uint8_t s, uint8_t f, uint8_t notF, int header = 16)
{
    return rmtest::IrpFrame(564, false, {1, -1}, {1, -3})
        .Units({header, -8})
        .Field(d, 8)
        .Field(s, 8)
        .Field(f, 8)
        .Field(notF, 8)
        .Units({1})
        .Extent(108000)
        .Durations();
}
Frame NecRepeat()
{
    return rmtest::IrpFrame(564, false, {1, -1}, {1, -3}).Units({16, -4, 1}).Extent(108000).Durations();
}
Frame Jvc(uint8_t d, uint8_t f, bool bHeader)
{
    rmtest::IrpFrame frame(525, false, {1, -1}, {1, -3});
    if (bHeader)
        frame.Units({16, -8});
    return frame.Field(d, 8).Field(f, 8).Units({1, -45}).Durations();
}
Frame Sony(uint8_t f, uint8_t d, int nDeviceBits, int nExtensionBits, uint8_t s)
{
    return rmtest::IrpFrame(600, false, {1, -1}, {2, -1})
        .Units({4, -1})
        .Field(f, 7)
        .Field(d, nDeviceBits)
        .Field(s, nExtensionBits)
        .Extent(45000)
        .Durations();
}

// Held keys of NEC (NEC-X's header shares Samsung36's), JVC and Sony (its
// header is the nearest to Kaseikyo's), a made-up remote whose header is
// within a remote's jitter of Kaseikyo's: no key, whatever their values.
TEST(RcDecodeOurs, TheKernelsProtocolsAreNoneOfOurs)
{
    std::mt19937 random(61);
    std::uniform_int_distribution<int> byte(0, 255);
    const auto b = [&] { return uint8_t(byte(random)); };
    for (int nRound = 0; nRound < 100; ++nRound)
    {
        const uint8_t d = b(), s = b(), f = b(), g = b();
        const std::vector<uint32_t> necPulses = rmtest::NecPulses(d, uint8_t(~d), f, uint8_t(~f));
        Frame nec = necPulses;
        nec.push_back(40000);
        const struct
        {
            const char* pszWhat;
            std::vector<Frame> frames;
        } held[] = {
            {"NEC", {nec, NecRepeat(), NecRepeat()}},
            {"NEC-X", {Nec(d, s, f, uint8_t(~f), 8), Nec(d, s, f, uint8_t(~f), 8)}},
            {"32-bit NEC", {Nec(d, s, f, g), Nec(d, s, f, g)}},
            {"JVC", {Jvc(d, f, true), Jvc(d, f, false), Jvc(d, f, false)}},
            {"Sony12", {Sony(f, d, 5, 0, 0), Sony(f, d, 5, 0, 0), Sony(f, d, 5, 0, 0)}},
            {"Sony15", {Sony(f, d, 8, 0, 0), Sony(f, d, 8, 0, 0), Sony(f, d, 8, 0, 0)}},
            {"Sony20", {Sony(f, d, 5, 8, s), Sony(f, d, 5, 8, s), Sony(f, d, 5, 8, s)}},
            {"made-up", {[&] {
                 Frame us = rmtest::MadeUpFrame(uint32_t(d) << 16 | uint32_t(s) << 8 | f, &random);
                 us.push_back(40000);
                 return us;
             }()}},
        };
        for (const auto& h : held)
            for (const Reception& r : kReceptions)
                for (const Decoder& decoder : kOurs)
                {
                    std::vector<Frame> frames;
                    for (const Frame& frame : h.frames)
                        frames.push_back(rmtest::Received(frame, &random, r.share, r.biasUs));
                    ASSERT_EQ(std::vector<Key>{}, Decode(decoder, frames))
                        << h.pszWhat << " " << r.pszWhat << " through " << decoder.pszName;
                }
    }
}

// In the table: each family of ours decodes its frames and no other family
// takes them, the kernel's families still take theirs alone; none of ours
// is the kernel's (no decoder name, never in a protocols file's set), each
// has its name, and its place in the families' sets.
TEST(RcDecodeOurs, EachFrameGivesItsOwnProtocolsKeyAloneAndOursAreNamed)
{
    const auto keysOf = [](const Frame& frame) {
        rc_decoders decoders;
        std::memset(&decoders, 0, sizeof decoders);
        std::vector<Key> keys;
        for (size_t i = 0; i < frame.size(); ++i)
        {
            rc_ir_key out;
            const rc_ir_event event = {frame[i], uint8_t(i % 2 == 0), uint8_t(i + 1 == frame.size()), 0};
            if (rc_decoders_feed(&decoders, event, 0, &out) >= 0)
                keys.push_back(out.repeat ? Key{0xFFFF, 0} : Key{out.proto, out.scancode});
        }
        return keys;
    };
    const Frame nec = [] {
        Frame us = rmtest::NecPulses(0x04, 0xFB, 0x08, 0xF7);
        us.push_back(40000);
        return us;
    }();
    const struct
    {
        const char* pszWhat;
        Frame frame;
        std::vector<Key> keys;
    } cases[] = {
        {"Kaseikyo",
         rmtest::KaseikyoPulses(0x02, 0x20, 0x8, 0x00, 0x3D, 0xD),
         {KaseikyoKey(0x02, 0x20, 0x8, 0x00, 0x3D, 0xD)}},
        {"Samsung36", rmtest::Samsung36Pulses(0x07, 0x07, 0x0, 0x02, 0xFD), {Samsung36Key(0x07, 0x07, 0x0, 0x02)}},
        {"RCA", rmtest::RcaPulses(0xF, 0x2A, 0x0, 0xD5), {RcaKey(0xF, 0x2A)}},
        {"NEC", nec, {{RC_PROTO_NEC, 0x0408}}},
        {"JVC", Jvc(0x03, 0x12, true), {{RC_PROTO_JVC, 0x0312}}},
        {"Sony12", Sony(0x15, 0x01, 5, 0, 0), {{RC_PROTO_SONY12, 0x010015}}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszWhat);
        EXPECT_EQ(c.keys, keysOf(c.frame));
    }

    const struct
    {
        uint16_t proto;
        const char* pszName;
        uint32_t minTimeoutUs;
    } ours[] = {
        {RC_PROTO_KASEIKYO, "Kaseikyo", RC_DEC_KASEIKYO_MIN_TIMEOUT_US},
        {RC_PROTO_SAMSUNG36, "Samsung36", RC_DEC_SAMSUNG36_MIN_TIMEOUT_US},
        {RC_PROTO_RCA, "RCA", RC_DEC_RCA_MIN_TIMEOUT_US},
    };
    for (const auto& o : ours)
    {
        SCOPED_TRACE(o.pszName);
        EXPECT_GT(o.proto, RC_PROTO_XBOX_DVD);
        EXPECT_LT(o.proto, 64);
        EXPECT_EQ(nullptr, rc_decoder_name(o.proto));
        ASSERT_NE(nullptr, rc_protocol_name(o.proto));
        EXPECT_STREQ(o.pszName, rc_protocol_name(o.proto));
        EXPECT_EQ(uint64_t(o.minTimeoutUs) * 1000u + 10000000u, rc_decoders_timeout_ns(RC_PROTO_BIT(o.proto)));
    }
    // Our families have no name of the kernel's to match in its protocols file.
    const std::string protocols = "rc-5 [nec] rc-6 [lirc] [] [kaseikyo]";
    EXPECT_EQ(RC_PROTO_BIT(RC_PROTO_NEC) | RC_PROTO_BIT(RC_PROTO_NECX) | RC_PROTO_BIT(RC_PROTO_NEC32),
              rc_parse_enabled_protocols(protocols.data(), protocols.size()));
    EXPECT_STREQ("nec", rc_decoder_name(RC_PROTO_NEC));
}

// A held key stays held from one frame to the next, the longest frame of
// each (every bit a 1) from a remote 10% slow.
TEST(RcDecodeOurs, TheRepeatPeriodSpansTheLongestFrame)
{
    const struct
    {
        uint16_t proto;
        Frame longest;
    } cases[] = {
        {RC_PROTO_KASEIKYO, rmtest::KaseikyoPulses(0xFF, 0xFF, 0xF, 0xF, 0xFF, 0xFF, 0xF, 0xF)},
        {RC_PROTO_SAMSUNG36, rmtest::Samsung36Pulses(0xFF, 0xFF, 0xF, 0xFF, 0xFF)},
        {RC_PROTO_RCA, rmtest::RcaPulses(0xF, 0xFF, 0xF, 0xFF)},
    };
    for (const auto& c : cases)
    {
        uint64_t periodUs = 0;
        for (uint32_t d : c.longest)
            periodUs += d;
        EXPECT_GE(uint64_t(rc_repeat_period_ms(c.proto)) * 1000u, periodUs * 11 / 10) << c.proto;
    }
}

}  // namespace
