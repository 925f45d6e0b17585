// Test support: raw IR frames of a made-up pulse-distance remote (a 3 ms
// header, 24 bits, no decoder in the kernel knows it), each duration off by
// up to a given share as a real remote's timing is.
#ifndef REMOTEMONITOR_TESTS_RAWFRAMES_H
#define REMOTEMONITOR_TESTS_RAWFRAMES_H

#include <cstdint>
#include <random>
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

// The library's code for a frame of these durations.
inline uint32_t ShapeCodeOf(const std::vector<uint32_t>& us)
{
    rc_shape shape;
    rc_shape_start(&shape);
    for (uint32_t d : us)
        rc_shape_add(&shape, d);
    return rc_shape_code(&shape);
}

// The three keys the tests send.
constexpr uint32_t kMadeUpKeys[] = {0x5AA501, 0x5AA502, 0x5AA5F0};

}  // namespace rmtest

#endif
