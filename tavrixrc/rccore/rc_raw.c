/* Frames of raw IR, and the key of the ones no decoder took. */
#include "rc_raw.h"

#include <string.h>

/* Fewer pulses than any protocol's frame are no key of their own (NEC's
 * repeat code has two, a flash of light a few): they keep a held key held
 * but press none. */
#define RC_RAW_MIN_PULSES 6u
/* The longest a reading is taken to come after the one before (a poll). */
#define RC_RAW_POLL_NS 20000000u

void rc_raw_start(rc_raw* raw)
{
    memset(raw, 0, sizeof *raw);
}

static uint64_t later(uint64_t a, uint64_t b)
{
    return a > b ? a : b;
}

static void frame_ended(rc_raw* raw, uint64_t end_ns)
{
    const uint64_t keyup = end_ns + raw->timeout_ns;
    raw->in_frame = 0;
    if (raw->decoded)
        return;
    if (raw->pulses < RC_RAW_MIN_PULSES)
    {
        if (raw->pressed && raw->keyup_ns > end_ns)
            raw->keyup_ns = later(raw->keyup_ns, keyup);
        return;
    }
    raw->waiting = 1;
    raw->waiting_code = rc_shape_code(&raw->shape);
    raw->waiting_end_ns = end_ns;
}

/* The end sample read at read_ns lasted after_us past the last pulse. */
static void end_frame(rc_raw* raw, uint64_t read_ns, uint32_t after_us)
{
    const uint64_t after_ns = (uint64_t)after_us * 1000u;
    const uint64_t by_reading = read_ns > after_ns ? read_ns - after_ns : 0;
    raw->waiting_since_ns = read_ns;
    frame_ended(raw, later(by_reading, raw->first_ns + raw->rest_us * 1000u));
}

/* How long before its reading at read_ns a sample is taken to have come. */
static uint64_t came_before(const rc_raw* raw, uint64_t read_ns)
{
    uint64_t since;
    if (raw->polled_ns == 0 || raw->polled_ns > read_ns)
        return 0;
    since = read_ns - raw->polled_ns;
    return (since < RC_RAW_POLL_NS ? since : RC_RAW_POLL_NS) / 2u;
}

void rc_raw_polled(rc_raw* raw, uint64_t read_ns)
{
    raw->polled_ns = read_ns;
}

static void pulse(rc_raw* raw, uint32_t us, uint64_t read_ns)
{
    if (!raw->in_frame)
    {
        raw->in_frame = 1;
        raw->decoded = 0;
        raw->pulses = 0;
        raw->space_us = 0;
        raw->first_ns = read_ns - came_before(raw, read_ns);
        raw->rest_us = 0;
        rc_shape_start(&raw->shape);
        rc_shape_add(&raw->shape, us);
    }
    else
    {
        rc_shape_add(&raw->shape, raw->space_us);
        rc_shape_add(&raw->shape, us);
        raw->rest_us += (uint64_t)raw->space_us + us;
        raw->space_us = 0;
    }
    ++raw->pulses;
}

void rc_raw_sample(rc_raw* raw, uint32_t sample, uint64_t read_ns, uint64_t timeout_ns)
{
    const uint32_t us = RC_RAW_VALUE(sample);
    raw->timeout_ns = timeout_ns;
    switch (RC_RAW_KIND(sample))
    {
    case RC_RAW_PULSE:
        pulse(raw, us, read_ns);
        break;
    case RC_RAW_SPACE:
        if (!raw->in_frame)
            break;
        if ((uint64_t)us * 1000u > timeout_ns)
            end_frame(raw, read_ns, us);
        else
            raw->space_us += us;
        break;
    case RC_RAW_TIMEOUT:
        if (raw->in_frame)
            end_frame(raw, read_ns, us);
        break;
    case RC_RAW_OVERFLOW:
        /* samples were lost: what came of the frame is no shape */
        raw->in_frame = 0;
        break;
    default:
        break;
    }
}

void rc_raw_decoded(rc_raw* raw)
{
    raw->decoded = raw->in_frame;
    raw->waiting = 0;
    raw->pressed = 0;
}

void rc_raw_settle(rc_raw* raw, uint64_t now_ns)
{
    if (!raw->waiting || now_ns < raw->waiting_since_ns + RC_RAW_DECODER_WAIT_NS)
        return;
    raw->waiting = 0;
    raw->pressed = 1;
    raw->code = raw->waiting_code;
    raw->keyup_ns = raw->waiting_end_ns + raw->timeout_ns;
    if (raw->shown < RC_RAW_SHOWN_TO_TELL)
        ++raw->shown;
}

uint32_t rc_raw_code_ex(const rc_raw* raw, uint64_t now_ns)
{
    return raw->pressed && now_ns < raw->keyup_ns ? raw->code : 0u;
}
