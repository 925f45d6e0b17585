// Test support: raw IR frames of a made-up pulse-distance remote (a 3 ms
// header, 24 bits, no decoder in the kernel knows it), each duration off by
// up to a given share as a real remote's timing is; and frames of real
// protocols as their IRP definitions write them.
#ifndef REMOTEMONITOR_TESTS_RAWFRAMES_H
#define REMOTEMONITOR_TESTS_RAWFRAMES_H

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include "rc_shape.h"
}

namespace rmtest {

// Durations in microseconds, pulse first: header 3000/1500, then per bit
// a 500 us pulse and a 500 (0) or 1500 (1) us space, then a closing pulse.
inline std::vector<uint32_t> MadeUpFrame(uint32_t bits, std::mt19937* pJitter, double share = 0.15)
{
    std::uniform_real_distribution<double> off(1.0 - share, 1.0 + share);
    std::vector<uint32_t> us = {3000, 1500};
    for (int bit = 23; bit >= 0; --bit)
    {
        us.push_back(500);
        us.push_back((bits >> bit) & 1 ? 1500 : 500);
    }
    us.push_back(500);
    for (uint32_t& d : us)
        d = static_cast<uint32_t>(d * off(*pJitter));
    return us;
}

// Raw NEC on air, in microseconds, pulse first: 562.5 us units.
inline std::vector<uint32_t> NecPulses(uint8_t address, uint8_t notAddress, uint8_t command, uint8_t notCommand)
{
    std::vector<uint32_t> us = {9000, 4500};
    for (uint8_t byte : {address, notAddress, command, notCommand})
        for (int bit = 0; bit < 8; ++bit)
        {
            us.push_back(562);
            us.push_back((byte >> bit) & 1 ? 1687 : 562);
        }
    us.push_back(562);
    return us;
}

// Nominal frames of four codings, pulse first: a made-up pulse width
// (header 3000/1000, 16 bits, per bit a 500 (0) or 1000 (1) us pulse and a
// 500 us space, none after the last), Sony's 12 bits (header 2400, 600 or
// 1200 us pulses, 600 us spaces; 7 command bits then 5 address bits, least
// significant first), bi-phase as RC-5 has it (14 bits of two 889 us
// halves, 1 a space then a pulse, 0 a pulse then a space), and pulse
// distance as NEC has it (header 9000/4500, 560 us pulses, 560 (0) or 1690
// (1) us spaces, a closing pulse).
inline std::vector<uint32_t> PulseWidthFrame(uint32_t bits)
{
    std::vector<uint32_t> us = {3000, 1000};
    for (int bit = 15; bit >= 0; --bit)
        us.insert(us.end(), {(bits >> bit) & 1 ? 1000u : 500u, 500u});
    us.pop_back();
    return us;
}

inline std::vector<uint32_t> Sony12Frame(uint32_t command, uint32_t address)
{
    const uint32_t bits = command | address << 7;
    std::vector<uint32_t> us = {2400};
    for (int bit = 0; bit < 12; ++bit)
        us.insert(us.end(), {600u, (bits >> bit) & 1 ? 1200u : 600u});
    return us;
}

inline std::vector<uint32_t> BiPhaseFrame(uint32_t bits)
{
    std::vector<uint32_t> us;
    bool bPulse = false;  // what the last duration is
    for (int bit = 13; bit >= 0; --bit)
    {
        const bool bOne = (bits >> bit) & 1;
        for (bool bHalfPulse : {!bOne, bOne})
        {
            if (us.empty() && !bHalfPulse)
                continue;  // the line was idle before
            if (!us.empty() && bHalfPulse == bPulse)
                us.back() += 889;
            else
                us.push_back(889);
            bPulse = bHalfPulse;
        }
    }
    if (!bPulse)
        us.pop_back();  // and is idle after
    return us;
}

inline std::vector<uint32_t> NecLikeFrame(uint32_t bits)
{
    std::vector<uint32_t> us = {9000, 4500};
    for (int bit = 31; bit >= 0; --bit)
        us.insert(us.end(), {560u, (bits >> bit) & 1 ? 1690u : 560u});
    us.push_back(560);
    return us;
}

// A frame as a receiver hands it out: each duration off by up to a share,
// then every pulse longer and every space shorter by the receiver's bias.
inline std::vector<uint32_t> Received(std::vector<uint32_t> us, std::mt19937* pJitter, double share, uint32_t bias_us)
{
    std::uniform_real_distribution<double> off(1.0 - share, 1.0 + share);
    for (size_t i = 0; i < us.size(); ++i)
    {
        const double d = us[i] * off(*pJitter) + (i % 2 == 0 ? 1.0 : -1.0) * bias_us;
        us[i] = d < 1 ? 1u : static_cast<uint32_t>(d);
    }
    return us;
}

// The library's code for a frame of these durations.
inline uint32_t ShapeCodeOf(const std::vector<uint32_t>& us)
{
    rc_shape shape;
    rc_shape_start(&shape);
    for (uint32_t d : us)
        rc_shape_add(&shape, d);
    return rc_shape_code(&shape);
}

// The library's line for a frame of these durations, given room for
// nRoom characters with its NUL; "<bad line>" if it wrote past them, left
// the line unterminated or gave another length.
inline std::string ShapeLineOf(const std::vector<uint32_t>& us, size_t nRoom = 128)
{
    rc_shape shape;
    rc_shape_start(&shape);
    for (uint32_t d : us)
        rc_shape_add(&shape, d);
    std::vector<char> room(nRoom + 1, '#');
    const size_t nLen = rc_shape_describe(&shape, room.data(), nRoom);
    if (room[nRoom] != '#' ||
        (nRoom == 0 ? nLen != 0 : nLen >= nRoom || room[nLen] != '\0' || std::string(room.data()).size() != nLen))
        return "<bad line>";
    return std::string(room.data(), nLen);
}

// The three keys the tests send.
constexpr uint32_t kMadeUpKeys[] = {0x5AA501, 0x5AA502, 0x5AA5F0};

// A frame as an IRP definition writes it, {unit, bit order}<zero|one>(...):
// durations in units (a pulse positive, a space negative) or microseconds,
// fields of bits each sent as its zero's or its one's durations, and an
// extent (the space that makes the frame that long from its start). Two
// durations of one kind in a row are one on air. Durations in microseconds,
// pulse first, ending in a space.
class IrpFrame
{
public:
    IrpFrame(uint32_t unitUs, bool bMsbFirst, std::vector<int> zero, std::vector<int> one)
        : m_unitUs(unitUs),
          m_bMsbFirst(bMsbFirst),
          m_bits{std::move(zero), std::move(one)}
    {
    }
    IrpFrame& Units(std::initializer_list<int> units)
    {
        for (int u : units)
            Add(static_cast<int64_t>(u) * m_unitUs);
        return *this;
    }
    IrpFrame& Us(int64_t us)
    {
        Add(us);
        return *this;
    }
    // The low nBits of value (an IRP field V:n).
    IrpFrame& Field(uint64_t value, int nBits)
    {
        for (int i = 0; i < nBits; ++i)
        {
            const int bit = static_cast<int>(value >> (m_bMsbFirst ? nBits - 1 - i : i) & 1u);
            for (int u : m_bits[bit])
                Add(static_cast<int64_t>(u) * m_unitUs);
        }
        return *this;
    }
    // ^us: the space up to us from the frame's start.
    IrpFrame& Extent(int64_t us)
    {
        int64_t length = 0;
        for (int64_t d : m_signed)
            length += d < 0 ? -d : d;
        Add(-(us - length));
        return *this;
    }
    std::vector<uint32_t> Durations() const
    {
        std::vector<uint32_t> us;
        for (int64_t d : m_signed)
            us.push_back(static_cast<uint32_t>(d < 0 ? -d : d));
        return us;
    }

private:
    void Add(int64_t us)
    {
        if (!m_signed.empty() && (m_signed.back() < 0) == (us < 0))
            m_signed.back() += us;
        else if (!m_signed.empty() || us > 0)  // the idle before the frame is not seen
            m_signed.push_back(us);
    }
    uint32_t m_unitUs;
    bool m_bMsbFirst;
    std::vector<int> m_bits[2];
    std::vector<int64_t> m_signed;
};

// Kaseikyo: {37k,432}<1,-1|1,-3>(8,-4,M:8,N:8,X:4,D:4,S:8,F:8,E:4,C:4,1,-173)*
// with X and C as given.
inline std::vector<uint32_t> KaseikyoPulses(uint8_t m, uint8_t n, uint8_t x, uint8_t d, uint8_t s, uint8_t f, uint8_t e,
                                            uint8_t c)
{
    return IrpFrame(432, false, {1, -1}, {1, -3})
        .Units({8, -4})
        .Field(m, 8)
        .Field(n, 8)
        .Field(x, 4)
        .Field(d, 4)
        .Field(s, 8)
        .Field(f, 8)
        .Field(e, 4)
        .Field(c, 4)
        .Units({1, -173})
        .Durations();
}

// ... with its parities: X the XOR of the nibbles of M and N, C that of D,
// the nibbles of S and F, and E.
inline uint8_t KaseikyoX(uint8_t m, uint8_t n)
{
    return (m ^ m >> 4 ^ n ^ n >> 4) & 0xF;
}
inline uint8_t KaseikyoC(uint8_t d, uint8_t s, uint8_t f, uint8_t e)
{
    return (d ^ s ^ s >> 4 ^ f ^ f >> 4 ^ e) & 0xF;
}
inline std::vector<uint32_t> KaseikyoPulses(uint8_t m, uint8_t n, uint8_t d, uint8_t s, uint8_t f, uint8_t e)
{
    return KaseikyoPulses(m, n, KaseikyoX(m, n), d, s, f, e, KaseikyoC(d, s, f, e));
}

// Samsung36: {37.9k,560}<1,-1|1,-3>(4500u,-4500u,D:8,S:8,1,-9,E:4,F:8,~F:8,1,^108m)*
// with ~F as given.
inline std::vector<uint32_t> Samsung36Pulses(uint8_t d, uint8_t s, uint8_t e, uint8_t f, uint8_t notF)
{
    return IrpFrame(560, false, {1, -1}, {1, -3})
        .Us(4500)
        .Us(-4500)
        .Field(d, 8)
        .Field(s, 8)
        .Units({1, -9})
        .Field(e, 4)
        .Field(f, 8)
        .Field(notF, 8)
        .Units({1})
        .Extent(108000)
        .Durations();
}

// RCA: {58k,460,msb}<1,-2|1,-4>(8,-8,D:4,F:8,~D:4,~F:8,1,-16)* with ~D and
// ~F as given.
inline std::vector<uint32_t> RcaPulses(uint8_t d, uint8_t f, uint8_t notD, uint8_t notF)
{
    return IrpFrame(460, true, {1, -2}, {1, -4})
        .Units({8, -8})
        .Field(d, 4)
        .Field(f, 8)
        .Field(notD, 4)
        .Field(notF, 8)
        .Units({1, -16})
        .Durations();
}

}  // namespace rmtest

#endif
