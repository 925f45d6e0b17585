/* A frame's shape, hashed. */
#include "rc_shape.h"

#define RC_FNV_OFFSET 2166136261u
#define RC_FNV_PRIME 16777619u

/* Two durations are about equal while the longer is under 5/3 of the
 * shorter. Each may be up to 15% off, which makes equal ones at most 1.35
 * apart; the codings remotes use keep distinct durations twice apart or
 * more (NEC's spaces three times), so the bound sits between the two. */
#define RC_EQUAL_NUM 5u
#define RC_EQUAL_DEN 3u

enum
{
    RC_SHORTER = 1,
    RC_EQUAL = 2,
    RC_LONGER = 3
};

static unsigned compare(uint32_t now, uint32_t before)
{
    const uint64_t a = now;
    const uint64_t b = before;
    if (a * RC_EQUAL_NUM < b * RC_EQUAL_DEN)
        return RC_SHORTER;
    if (a * RC_EQUAL_DEN > b * RC_EQUAL_NUM)
        return RC_LONGER;
    return RC_EQUAL;
}

void rc_shape_start(rc_shape* shape)
{
    shape->hash = RC_FNV_OFFSET;
    shape->before[0] = 0;
    shape->before[1] = 0;
    shape->count = 0;
}

void rc_shape_add(rc_shape* shape, uint32_t duration_us)
{
    if (shape->count >= 2)
    {
        shape->hash ^= compare(duration_us, shape->before[0]);
        shape->hash *= RC_FNV_PRIME;
    }
    shape->before[0] = shape->before[1];
    shape->before[1] = duration_us;
    ++shape->count;
}

uint32_t rc_shape_code(const rc_shape* shape)
{
    return shape->hash != 0 ? shape->hash : 1u;
}

#include <stdio.h>
size_t rc_shape_describe(const rc_shape* shape, char* out, size_t out_len)
{
    return (size_t)snprintf(out, out_len, "%u durations", shape->count);
}
