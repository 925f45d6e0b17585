// The receiver library's pure parts: NEC frames rebuilt from the kernel's
// scancodes, the records' layout, the sysfs texts, and the key state over
// record timestamps.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "FakeReceivers.h"
#include "RawFrames.h"

extern "C" {
#include "rc_clock.h"
#include "rc_decoders.h"
#include "rc_frame.h"
#include "rc_key.h"
#include "rc_raw.h"
#include "rc_record.h"
#include "rc_sysfs.h"
}

namespace {

using rmtest::Ms;

// Worked by hand from the on-air frames: NEC A=04 C=08 is 04 FB 08 F7; NECX
// A=04 a=12 C=08 is 04 12 08 F7; NEC32 on air E5 87 2C FE is stored by the
// kernel as 87 E5 FE 2C. Other protocols: the command from where the
// kernel's decoder puts it, and the scancode as it comes.
TEST(RcFrame, TakesTheCommandFromEachProtocolsScancodeLayout)
{
    struct
    {
        uint16_t proto;
        uint64_t scancode;
        uint32_t frame;
        int code;
    } const cases[] = {
        {RC_PROTO_NEC, 0x0408, 0x04FB08F7u, 0x08},
        {RC_PROTO_NEC, 0x00FF, 0x00FFFF00u, RC_NO_CODE},  // command 0xFF reads as "no code"
        {RC_PROTO_NECX, 0x041208, 0x041208F7u, 0x08},
        {RC_PROTO_NEC32, 0x87E5FE2C, 0xE5872CFEu, 0x2C},
        {RC_PROTO_RC5, 0x1E4B, 0x00001E4Bu, 0x4B},      // system 0x1E, command 0x4B (the 7th bit is rc-5x's)
        {RC_PROTO_RC5X_20, 0x051A2C, 0x00051A2Cu, 26},  // system 5, command 0x1A, extension 0x2C
        {RC_PROTO_RC5_SZ, 0x08D5, 0x000008D5u, 21},     // system 0x23 << 6 | command 0x15
        {RC_PROTO_JVC, 0x0312, 0x00000312u, 0x12},
        {RC_PROTO_SONY12, 0x010015, 0x00010015u, 0x15},  // device << 16 | function
        {RC_PROTO_SONY15, 0xA40033, 0x00A40033u, 0x33},
        {RC_PROTO_SONY20, 0x1A7F54, 0x001A7F54u, 0x54},  // device, extension, function
        {RC_PROTO_SANYO, 0x1C0D25, 0x001C0D25u, 0x25},
        {RC_PROTO_RC6_0, 0x0C0D, 0x00000C0Du, 0x0D},
        {RC_PROTO_RC6_6A_20, 0x0A5C0D, 0x000A5C0Du, 0x0D},
        {RC_PROTO_RC6_6A_24, 0xC15C0D, 0x00C15C0Du, 0x0D},
        {RC_PROTO_RC6_6A_32, 0x12345C0D, 0x12345C0Du, 0x0D},
        {RC_PROTO_RC6_MCE, 0x800F040E, 0x800F040Eu, 0x0E},
        {RC_PROTO_SHARP, 0x1523, 0x00001523u, 0x23},
        {RC_PROTO_XMP, 0x13214C00, 0x13214C00u, 0x4C},  // address, subaddress, button, second button
        {RC_PROTO_CEC, 0x44, 0x00000044u, 0x44},        // a user control code alone
        {RC_PROTO_CEC, 0x6005, 0x00006005u, 0x60},      // ... and one with its operand
        {RC_PROTO_RCMM12, 0x0A21, 0x00000A21u, 0x21},
        {RC_PROTO_RCMM24, 0x2E0A21, 0x002E0A21u, 0x21},
        {RC_PROTO_RCMM32, 0x80AF0A21, 0x80AF0A21u, 0x21},
        // Keyboard and pointer reports, iMON codes: no command in them.
        {RC_PROTO_MCIR2_KBD, 0x04001234, 0x04001234u, RC_NO_CODE},
        {RC_PROTO_MCIR2_MSE, 0x012345, 0x00012345u, RC_NO_CODE},
        {RC_PROTO_IMON, 0x2A8195B7, 0x2A8195B7u, RC_NO_CODE},
        // Ours: Kaseikyo's manufacturer code (Panasonic's), subdevice and
        // function, its device and extra nibble left out; Samsung36's
        // scancode; RCA's 24 bits on air, device, function, their inverses.
        {RC_PROTO_KASEIKYO, 0x2002080C0D3Dull, 0x20020C3Du, 0x3D},
        {RC_PROTO_SAMSUNG36, 0x0707000Au, 0x0707000Au, 0x0A},
        {RC_PROTO_RCA, 0x0F2A, 0xF2A0D5u, 0x2A},
        {RC_PROTO_RCA, 0x05FF, 0x5FFA00u, RC_NO_CODE},
        {RC_PROTO_UNKNOWN, 0x123456789Aull, 0x3456789Au, 0x9A},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.frame, rc_frame_code_ex(c.proto, c.scancode)) << c.proto << " " << std::hex << c.scancode;
        EXPECT_EQ(c.code, rc_frame_code(c.proto, c.scancode)) << c.proto << " " << std::hex << c.scancode;
    }
}

TEST(RcRecord, DecodesWholeRecordsOnlyAndOnlyScancodeAndKeyEvents)
{
    const std::string two = rmtest::Record(0x1122334455667788ull, 2, 11, 0x87E5FE2C) + rmtest::Record(5, 0, 9, 0x408);
    rc_record out[4];
    const auto* bytes = reinterpret_cast<const unsigned char*>(two.data());
    ASSERT_EQ(2u, rc_decode_scancodes(bytes, two.size(), out, 4));
    EXPECT_EQ(0x1122334455667788ull, out[0].timestamp_ns);
    EXPECT_EQ(2, out[0].flags);
    EXPECT_EQ(11, out[0].proto);
    EXPECT_EQ(0x87E5FE2Cu, out[0].scancode);
    EXPECT_EQ(0x408u, out[1].scancode);
    // A part of a record is never a record; nor is more than asked for.
    EXPECT_EQ(1u, rc_decode_scancodes(bytes, two.size() - 1, out, 4));
    EXPECT_EQ(1u, rc_decode_scancodes(bytes, two.size(), out, 1));

    // From an event node: scancodes and the kernel's key events; EV_SYN is
    // passed over.
    const std::string events = rmtest::Event(Ms(1500), 4, 4, static_cast<int32_t>(0x80FF1234u)) +
                               rmtest::Event(Ms(1500), 1, 0x74, 1) + rmtest::Event(Ms(1500), 0, 0, 0) +
                               rmtest::Event(Ms(1600), 1, 0x74, 0);
    ASSERT_EQ(3u, rc_decode_events(reinterpret_cast<const unsigned char*>(events.data()), events.size(), out, 4));
    EXPECT_EQ(Ms(1500), out[0].timestamp_ns);
    EXPECT_EQ(0x80FF1234u, out[0].scancode);
    EXPECT_EQ(0, out[0].proto);
    EXPECT_EQ(0, out[0].flags);
    EXPECT_EQ(RC_FLAG_KEY_DOWN, out[1].flags);
    EXPECT_EQ(0x74u, out[1].keycode);
    EXPECT_EQ(RC_FLAG_KEY_UP, out[2].flags);
    EXPECT_EQ(Ms(1600), out[2].timestamp_ns);
}

TEST(RcSysfs, ParsesNamesUeventsAndProtocols)
{
    EXPECT_EQ(10, rc_parse_index("rc10", "rc"));
    EXPECT_EQ(0, rc_parse_index("lirc0", "lirc"));
    for (const char* pszName : {"rc", "rc1a", "rc-1", "rc+1", "lirc0", "rc9999999999", "src1", "rc007"})
        EXPECT_EQ(-1, rc_parse_index(pszName, "rc")) << pszName;

    char szName[32];
    const std::string uevent = "MAJOR=13\nMINOR=68\nDEVNAME=input/event4\n";
    ASSERT_EQ(1, rc_parse_devname(uevent.data(), uevent.size(), szName, sizeof szName));
    EXPECT_STREQ("input/event4", szName);
    const std::string last = "MAJOR=251\nDEVNAME=lirc0";  // no final newline
    ASSERT_EQ(1, rc_parse_devname(last.data(), last.size(), szName, sizeof szName));
    EXPECT_STREQ("lirc0", szName);
    // Nothing that leads out of the device root, nothing cut short.
    for (const char* pszText :
         {"MAJOR=1\n", "DEVNAME=\n", "DEVNAME=/dev/lirc0\n", "DEVNAME=../etc/x\n", "DEVNAME=input/../../x\n",
          "XDEVNAME=lirc0\n", "DEVNAME=lirc0123456789012345678901234567\n"})
        EXPECT_EQ(0, rc_parse_devname(pszText, std::strlen(pszText), szName, sizeof szName)) << pszText;

    // A decoder enabled; none, though some could be; none listed at all.
    struct
    {
        const char* pszText;
        int nDecoders;
    } const protocols[] = {
        {"rc-5 nec [rc-6] jvc\n", 1},
        {"[rc-5] [nec]", 1},
        {"rc-5 nec rc-6 jvc sony [lirc]\n", 0},  // rc-loopback as it starts
        {"[lirc] nec", 0},
        {"[lirc]\n", -1},
        {"", -1},
        {"[]", 0},
        {"lirc rc-5 [nec", 0},
    };
    for (const auto& c : protocols)
        EXPECT_EQ(c.nDecoders, rc_parse_decoders(c.pszText, std::strlen(c.pszText))) << c.pszText;

    // The protocols the kernel decodes: "rc-5" is RC-5 and RC-5X-20, RC-5-SZ
    // a decoder name of its own; names no decoder here knows add nothing.
    const struct
    {
        const char* pszText;
        uint64_t protocols;
    } enabled[] = {
        {"[rc-5] nec rc-6 [lirc]\n", RC_PROTO_BIT(RC_PROTO_RC5) | RC_PROTO_BIT(RC_PROTO_RC5X_20)},
        {"rc-5 [rc-5-sz] [cec] [xmp]", RC_PROTO_BIT(RC_PROTO_RC5_SZ) | RC_PROTO_BIT(RC_PROTO_XMP)},
        {"[nec] [mce_kbd]", RC_PROTO_BIT(RC_PROTO_NEC) | RC_PROTO_BIT(RC_PROTO_NECX) | RC_PROTO_BIT(RC_PROTO_NEC32) |
                                RC_PROTO_BIT(RC_PROTO_MCIR2_KBD) | RC_PROTO_BIT(RC_PROTO_MCIR2_MSE)},
        {"[lirc] [nec", 0},
    };
    for (const auto& c : enabled)
        EXPECT_EQ(c.protocols, rc_parse_enabled_protocols(c.pszText, std::strlen(c.pszText))) << c.pszText;
}

// A frame's shape code: the same however each duration is off (up to 15%),
// different for frames that differ in one bit or in their length.
TEST(RcShape, OneCodePerFrameWhateverItsJitterAndAnotherForEveryOtherFrame)
{
    std::mt19937 jitter(18);
    std::vector<uint32_t> codes;
    struct
    {
        const char* pszWhat;
        std::vector<uint32_t> us;
    } frames[] = {
        {"key 1", rmtest::MadeUpFrame(rmtest::kMadeUpKeys[0], &jitter, 0)},
        {"key 2", rmtest::MadeUpFrame(rmtest::kMadeUpKeys[1], &jitter, 0)},
        {"key 3", rmtest::MadeUpFrame(rmtest::kMadeUpKeys[2], &jitter, 0)},
        {"its last bit flipped", rmtest::MadeUpFrame(rmtest::kMadeUpKeys[0] ^ 1, &jitter, 0)},
        {"its first bit flipped", rmtest::MadeUpFrame(rmtest::kMadeUpKeys[0] ^ 0x800000, &jitter, 0)},
        {"without its closing pulse", rmtest::MadeUpFrame(rmtest::kMadeUpKeys[0], &jitter, 0)},
        {"a bit more", rmtest::MadeUpFrame(rmtest::kMadeUpKeys[0], &jitter, 0)},
    };
    frames[5].us.pop_back();
    frames[6].us.insert(frames[6].us.end() - 1, {500, 500});
    for (const auto& frame : frames)
    {
        SCOPED_TRACE(frame.pszWhat);
        const uint32_t code = rmtest::ShapeCodeOf(frame.us);
        EXPECT_NE(0u, code);
        EXPECT_EQ(codes.end(), std::find(codes.begin(), codes.end(), code));
        codes.push_back(code);
    }
    for (size_t nKey = 0; nKey < 3; ++nKey)
        for (int nPress = 0; nPress < 500; ++nPress)
            ASSERT_EQ(codes[nKey], rmtest::ShapeCodeOf(rmtest::MadeUpFrame(rmtest::kMadeUpKeys[nKey], &jitter)))
                << "key " << nKey << ", press " << nPress;
}

// A receiver lengthens pulses and shortens spaces by a bias of its own, the
// remote's timing is off besides: every press of a key one code all the
// same, in the codings remotes use, and two keys two codes; so too a frame
// and its mirror image (its data all of the other length), whose classes
// alone are alike.
TEST(RcShape, OneCodePerKeyOnABiasedReceiverAndAnotherForEveryOtherKeyOrItsMirrorImage)
{
    using namespace rmtest;
    const struct
    {
        const char* pszCoding;
        std::vector<uint32_t> frames[4];  // two keys, then a mirror image pair
    } codings[] = {
        {"pulse width",
         {PulseWidthFrame(0x40BF), PulseWidthFrame(0x41BE), PulseWidthFrame(0), PulseWidthFrame(0xFFFF)}},
        {"Sony-12", {Sony12Frame(21, 1), Sony12Frame(18, 1), Sony12Frame(0, 0), Sony12Frame(127, 31)}},
        {"bi-phase", {BiPhaseFrame(0x3175), BiPhaseFrame(0x3974), BiPhaseFrame(0x3000), BiPhaseFrame(0x37FF)}},
        {"pulse distance",
         {NecLikeFrame(0x20DF10EF), NecLikeFrame(0x20DF906F), NecLikeFrame(0), NecLikeFrame(0xFFFFFFFF)}},
    };
    std::mt19937 jitter(7);
    for (const auto& coding : codings)
        for (uint32_t bias : {100u, 150u})
        {
            std::set<uint32_t> codes;
            for (size_t nFrame = 0; nFrame < 4; ++nFrame)
            {
                std::set<uint32_t> pressed;
                for (int nPress = 0; nPress < 20; ++nPress)
                    pressed.insert(ShapeCodeOf(Received(coding.frames[nFrame], &jitter, 0.10, bias)));
                EXPECT_EQ(1u, pressed.size()) << coding.pszCoding << ", bias " << bias << " us, frame " << nFrame;
                codes.insert(pressed.begin(), pressed.end());
            }
            EXPECT_EQ(4u, codes.size()) << coding.pszCoding << ", bias " << bias << " us";
        }
}

// A frame's coding in words, read on a receiver of 100 us bias: the
// figures as the remote sends them, the bits in the order received (the
// first the most significant); on one of 150 us, 10% off, the same coding
// and bits whatever the figures. A frame cut short reads as far as it goes;
// one of no coding only for its durations. The line is cut to its room.
TEST(RcShape, DescribesAFramesCodingAsFarAsItCanBeRead)
{
    using namespace rmtest;
    std::mt19937 jitter(11);
    std::vector<uint32_t> cut = NecLikeFrame(0x20DF10EF);
    cut.resize(2 + 20 * 2 + 1);
    cut[0] = 9040;  // a leader as measured, its figures rounded
    cut[1] = 4460;
    const struct
    {
        std::vector<uint32_t> us;
        const char* pszLine;
    } frames[] = {
        {NecLikeFrame(0x20DF10EF), "pulse distance, unit 560 us, leader 9000/4500 us, 32 bits 0x20DF10EF"},
        {MadeUpFrame(0x5AA501, &jitter, 0), "pulse distance, unit 500 us, leader 3000/1500 us, 24 bits 0x5AA501"},
        {Sony12Frame(21, 1), "pulse width, unit 600 us, leader 2400/600 us, 12 bits 0xA90"},
        {PulseWidthFrame(0x40BF), "pulse width, unit 500 us, leader 3000/1000 us, 16 bits 0x40BF"},
        {BiPhaseFrame(0x3175), "bi-phase, unit 889 us, 14 bits 0x3175"},
        {BiPhaseFrame(0x3000), "bi-phase, unit 889 us, 14 bits 0x3000"},  // its spaces all of one unit
        {cut, "pulse distance, unit 560 us, leader 9000/4500 us, 20 bits 0x20DF1"},
        {{600, 600, 1800, 600, 3600, 1800, 600, 1800, 1800, 600, 600},
         "unknown coding, 11 durations, pulses 600-3600 us, spaces 600-1800 us"},
    };
    const auto figuresOut = [](const std::string& line) {
        static const std::regex figures("unit [0-9]+ us|leader [0-9]+/[0-9]+ us|[0-9]+-[0-9]+ us");
        return std::regex_replace(line, figures, "#");
    };
    for (const auto& frame : frames)
    {
        EXPECT_EQ(frame.pszLine, ShapeLineOf(Received(frame.us, &jitter, 0, 100)));
        for (int nPress = 0; nPress < 20; ++nPress)
            EXPECT_EQ(figuresOut(frame.pszLine), figuresOut(ShapeLineOf(Received(frame.us, &jitter, 0.10, 150))))
                << frame.pszLine;
    }
    EXPECT_EQ("pulse dis", ShapeLineOf(frames[0].us, 10));
    EXPECT_EQ("", ShapeLineOf(frames[0].us, 1));
    EXPECT_EQ("", ShapeLineOf(frames[0].us, 0));
}

rc_record At(uint64_t ns, uint16_t flags, uint16_t proto, uint64_t scancode)
{
    return rc_record{ns, flags, proto, 0, scancode};
}

// The kernel's key-up time: the repeat period plus the receiver's time-out.
TEST(RcKey, IsHeldThroughItsRepeatsAndUpAfterThePeriodPlusTheTimeOut)
{
    const uint64_t timeout = Ms(100);
    rc_key key = {};
    EXPECT_EQ(RC_NO_CODE, rc_key_code(&key, Ms(1)));
    EXPECT_EQ(RC_NO_CODE_EX, rc_key_code_ex(&key, Ms(1)));

    rc_record rec = At(Ms(1000), 0, rmtest::kProtoNec, 0x0408);
    rc_key_feed(&key, &rec, timeout);
    EXPECT_EQ(0x08, rc_key_code(&key, Ms(1000)));
    EXPECT_EQ(0x04FB08F7u, rc_key_code_ex(&key, Ms(1209)));
    EXPECT_EQ(RC_NO_CODE, rc_key_code(&key, Ms(1210)));  // 110 + 100 after its record

    // Repeats keep it down, counted from the last one's timestamp.
    for (uint64_t t = 1100; t <= 1500; t += 100)
    {
        rec = At(Ms(t), rmtest::kFlagRepeat, rmtest::kProtoNec, 0x0408);
        rc_key_feed(&key, &rec, timeout);
    }
    EXPECT_EQ(0x08, rc_key_code(&key, Ms(1709)));
    EXPECT_EQ(RC_NO_CODE, rc_key_code(&key, Ms(1710)));
    // ... and each with the receiver's time-out as it was at that repeat.
    rec = At(Ms(1600), rmtest::kFlagRepeat, rmtest::kProtoNec, 0x0408);
    rc_key_feed(&key, &rec, Ms(20));
    EXPECT_EQ(0x08, rc_key_code(&key, Ms(1729)));
    EXPECT_EQ(RC_NO_CODE, rc_key_code(&key, Ms(1730)));
    // A repeat that comes after the key went up does not press it again.
    rec = At(Ms(1800), rmtest::kFlagRepeat, rmtest::kProtoNec, 0x0408);
    rc_key_feed(&key, &rec, timeout);
    EXPECT_EQ(RC_NO_CODE, rc_key_code(&key, Ms(1800)));

    // A repeat of another code or protocol (the kernel's last scancode,
    // another key's, or 0 when its decoder was enabled during a hold)
    // presses nothing, and leaves a held key as it is.
    rec = At(Ms(2000), rmtest::kFlagRepeat, rmtest::kProtoNecx, 0x041208);
    rc_key_feed(&key, &rec, timeout);
    EXPECT_EQ(RC_NO_CODE_EX, rc_key_code_ex(&key, Ms(2000)));
    rec = At(Ms(2100), 0, rmtest::kProtoNec, 0x0409);
    rc_key_feed(&key, &rec, timeout);
    rec = At(Ms(2200), rmtest::kFlagRepeat, 0, 0);
    rc_key_feed(&key, &rec, timeout);
    EXPECT_EQ(0x09, rc_key_code(&key, Ms(2200)));
    EXPECT_EQ(RC_NO_CODE, rc_key_code(&key, Ms(2310)));  // up as from its own record
}

TEST(RcKey, EachProtocolFamilyHasItsOwnRepeatPeriod)
{
    struct
    {
        uint16_t proto;
        unsigned period;
    } const cases[] = {{9, 110}, {10, 110}, {11, 110}, {2, 114}, {15, 114}, {19, 114}, {23, 114}, {26, 114}, {6, 100},
                       {8, 100}, {13, 100}, {27, 64},  {5, 125}, {12, 125}, {20, 125}, {21, 125}, {0, 125}};
    for (const auto& c : cases)
    {
        rc_key key = {};
        const rc_record rec = At(Ms(500), 0, c.proto, 0x1234);
        rc_key_feed(&key, &rec, RC_DEFAULT_TIMEOUT_NS);
        EXPECT_TRUE(rc_key_is_down(&key, Ms(500 + c.period + 125) - 1)) << c.proto;
        EXPECT_FALSE(rc_key_is_down(&key, Ms(500 + c.period + 125))) << c.proto;
    }
}

}  // namespace

namespace {

// The records' clock: from the namespace's offset where the kernel tells it,
// else from the records themselves, which never come from the future.
TEST(RcClock, TakesTheNamespacesOffsetOrWhatTheRecordsShow)
{
    int64_t offset = 0;
    const std::string text = "monotonic       -1000    500\nboottime  7 0\n";
    ASSERT_EQ(1, rc_parse_timens_monotonic(text.data(), text.size(), &offset));
    EXPECT_EQ(-1000 * 1000000000LL + 500, offset);
    for (const char* pszText : {"", "boottime 1 0\n", "monotonic x 0\n", "monotonic 5\n"})
        EXPECT_EQ(0, rc_parse_timens_monotonic(pszText, std::strlen(pszText), &offset)) << pszText;

    // A poll that came late is no namespace; records 1000 s ahead of their
    // reading, or far behind it, are.
    const uint64_t now = Ms(5000000);
    struct
    {
        int64_t lead_ms;
        int64_t offset_ms;
    } const cases[] = {{-30, 0}, {-900, 0}, {1000000 - 20, 1000000 - 20}, {-1000000, -1000000}};
    for (const auto& c : cases)
    {
        rc_clock clock = {};
        rc_clock_saw(&clock, now + static_cast<uint64_t>(c.lead_ms * 1000000), now);
        rc_clock_saw(&clock, now - Ms(2000000), now);  // an old one tells nothing more
        EXPECT_EQ(now + static_cast<uint64_t>(c.offset_ms * 1000000), rc_clock_records_now(&clock, now)) << c.lead_ms;
    }
}

}  // namespace

namespace {

// Frames in mode2 as the kernel hands them out, all at once as rc-loopback
// does: a frame's code waits for the decoders, then is held until a
// time-out after the frame's end, and again by each frame that follows; a
// flash of a few pulses presses nothing, a frame a decoder took neither.
TEST(RcRaw, AFrameNoDecoderTookIsAKeyFromTheDecodersWaitToATimeOutPastItsEnd)
{
    const uint64_t timeout = Ms(125);
    std::vector<uint32_t> frame;  // 12 pulses, ending 16.84 ms after its first
    for (int i = 0; i < 12; ++i)
        frame.insert(frame.end(), {rmtest::Pulse(560), rmtest::Space(i % 3 == 0 ? 1690 : 560)});
    frame.back() = rmtest::TimeoutReport(125000);
    const std::vector<uint32_t> flash = {rmtest::Pulse(300), rmtest::Space(900), rmtest::Pulse(300),
                                         rmtest::TimeoutReport(125000)};
    const auto take = [&](rc_raw* raw, const std::vector<uint32_t>& samples, uint64_t at) {
        for (uint32_t sample : samples)
            rc_raw_sample(raw, sample, at);
    };
    const uint64_t t = Ms(1000);
    rc_raw raw;
    rc_raw_start(&raw);
    take(&raw, frame, t);
    rc_raw_settle(&raw, t + Ms(9));
    EXPECT_EQ(0u, rc_raw_code_ex(&raw, t + Ms(9)));
    rc_raw_settle(&raw, t + Ms(10));
    const uint32_t code = rc_raw_code_ex(&raw, t + Ms(10));
    EXPECT_NE(0u, code);
    const uint64_t end = t + 16840000;  // its first pulse read at t, plus the rest of its length
    EXPECT_EQ(code, rc_raw_code_ex(&raw, end + timeout - 1));
    EXPECT_EQ(0u, rc_raw_code_ex(&raw, end + timeout));
    take(&raw, flash, t + Ms(100));  // a repeat's flash keeps it
    rc_raw_settle(&raw, t + Ms(200));
    EXPECT_EQ(code, rc_raw_code_ex(&raw, t + Ms(100) + timeout));
    take(&raw, frame, t + Ms(200));  // so does the frame again
    rc_raw_settle(&raw, t + Ms(215));
    EXPECT_EQ(code, rc_raw_code_ex(&raw, end + Ms(200) + timeout - 1));
    EXPECT_EQ(0u, rc_raw_code_ex(&raw, end + Ms(200) + timeout));

    rc_raw_start(&raw);
    take(&raw, flash, t);
    take(&raw, frame, t + Ms(300));
    rc_raw_decoded(&raw);  // its scancode, read after its end sample
    rc_raw_settle(&raw, t + Ms(400));
    EXPECT_EQ(0u, rc_raw_code_ex(&raw, t + Ms(400)));
    EXPECT_EQ(0u, raw.shown);
}

// What is no whole frame presses no key, changes no held one and brings no
// hint: a 2-pulse glitch, a frame cut short (fewer durations and shorter
// than a whole one of its leader), one cut by an overflow, and half an NEC
// frame, which the NEC decoder follows to its end and does not take.
TEST(RcRaw, GlitchesAndCutFramesPressNothingAndChangeNoHeldCode)
{
    std::mt19937 jitter(30);
    const auto samples = [](const std::vector<uint32_t>& us, size_t n) {
        std::vector<uint32_t> out;
        for (size_t i = 0; i < n && i < us.size(); ++i)
            out.push_back(i % 2 == 0 ? rmtest::Pulse(us[i]) : rmtest::Space(us[i]));
        if (out.size() % 2 == 0)
            out.pop_back();
        out.push_back(rmtest::TimeoutReport(125000));
        return out;
    };
    const std::vector<uint32_t> key = rmtest::MadeUpFrame(rmtest::kMadeUpKeys[0], &jitter, 0.05);
    const std::vector<uint32_t> nec = rmtest::NecPulses(0x04, 0xFB, 0x08, 0xF7);
    std::vector<uint32_t> overflowed = samples(key, 21);
    overflowed.back() = 0x04000000u;  // samples lost, then the rest of the frame
    const std::vector<uint32_t> rest = samples(std::vector<uint32_t>(key.begin() + 21, key.end()), key.size());
    overflowed.insert(overflowed.end(), rest.begin(), rest.end());
    const struct
    {
        const char* pszWhat;
        std::vector<uint32_t> samples;
    } spoilt[] = {{"a glitch", samples({300, 900, 300}, 3)},
                  {"half the frame", samples(key, key.size() / 2)},
                  {"a frame cut by an overflow", overflowed},
                  {"half an NEC frame", samples(nec, nec.size() / 2)}};
    uint64_t t = Ms(1000);
    rc_raw raw;
    const auto take = [&](const std::vector<uint32_t>& in) {
        for (uint32_t sample : in)
            rc_raw_sample(&raw, sample, t);
        rc_raw_polled(&raw, t);
        for (int nPoll = 0; nPoll < 4; ++nPoll)
            rc_raw_settle(&raw, t += Ms(10));
    };
    for (const auto& frame : spoilt)
    {
        SCOPED_TRACE(frame.pszWhat);
        rc_raw_start(&raw);
        take(samples(key, key.size()));
        const uint32_t code = rc_raw_code_ex(&raw, t);
        ASSERT_NE(0u, code);
        t += Ms(300);
        take(frame.samples);  // on its own
        EXPECT_EQ(0u, rc_raw_code_ex(&raw, t));
        EXPECT_EQ(RC_NO_CODE, rc_key_code(&raw.key, t));
        EXPECT_EQ(1u, raw.shown) << "no hint";
        t += Ms(300);
        take(samples(key, key.size()));
        take(frame.samples);  // while the key is held
        EXPECT_EQ(code, rc_raw_code_ex(&raw, t));
        t += Ms(300);
    }
}

}  // namespace
