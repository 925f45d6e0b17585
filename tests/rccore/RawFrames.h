// Test support: raw IR frames of a made-up pulse-distance remote (a 3 ms
// header, 24 bits, no decoder in the kernel knows it), each duration off by
// up to a given share as a real remote's timing is.
#ifndef REMOTEMONITOR_TESTS_RAWFRAMES_H
#define REMOTEMONITOR_TESTS_RAWFRAMES_H

#include <cstdint>
#include <random>
#include <string>
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

}  // namespace rmtest

#endif
