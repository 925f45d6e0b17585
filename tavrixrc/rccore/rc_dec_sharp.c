/* Sharp, with its echo frame, with the kernel's margins. */
#include "rc_dec_sharp.h"

#include "rc_record.h"

#define SHARP_UNIT 40u
#define SHARP_BIT_PULSE (8u * SHARP_UNIT)
#define SHARP_BIT_0_PERIOD (25u * SHARP_UNIT)
#define SHARP_BIT_1_PERIOD (50u * SHARP_UNIT)
#define SHARP_ECHO_SPACE (1000u * SHARP_UNIT)
#define SHARP_TRAILER_SPACE (125u * SHARP_UNIT)
#define SHARP_BITS 15u
#define SHARP_PULSE_MARGIN (SHARP_BIT_PULSE / 2u)
/* A bit is its pulse and space together, so a receiver's stretching of
 * the pulse at the cost of the space does not count against it. */
#define SHARP_PERIOD_MARGIN (SHARP_BIT_PULSE * 2u)
#define SHARP_ECHO_MARGIN (SHARP_ECHO_SPACE / 4u)

enum
{
    SHARP_IDLE = 0,
    SHARP_BIT_PULSE_NEXT,
    SHARP_BIT_SPACE_NEXT,
    SHARP_TRAILER_PULSE_NEXT,
    SHARP_ECHO_SPACE_NEXT,
    SHARP_TRAILER_SPACE_NEXT
};

static uint32_t reversed8(uint32_t byte)
{
    uint32_t r = 0;
    for (unsigned i = 0; i < 8; ++i)
        r = r << 1 | ((byte >> i) & 1u);
    return r;
}

/* The echo must repeat the address and invert the rest: a frame that does
 * not is no key (0). */
static int frame_end(const rc_dec_sharp* s, rc_ir_key* out)
{
    const uint32_t msg = (s->bits >> SHARP_BITS) & 0x7FFFu;
    const uint32_t echo = s->bits & 0x7FFFu;
    if ((msg ^ echo) != 0x3FFu)
        return 0;
    out->proto = RC_PROTO_SHARP;
    out->toggle = 0;
    out->repeat = 0;
    out->scancode = reversed8((msg >> 7) & 0xF8u) << 8 | reversed8((msg >> 2) & 0xFFu);
    return 1;
}

int rc_dec_sharp_feed(void* state, rc_ir_event ev, rc_ir_key* out)
{
    rc_dec_sharp* s = state;
    const uint32_t d = ev.duration_us;
    if (ev.overflow)
    {
        s->state = SHARP_IDLE;
        return 0;
    }
    switch (s->state)
    {
    case SHARP_IDLE:
    case SHARP_BIT_PULSE_NEXT:
        if (!ev.pulse || !rc_ir_near(d, SHARP_BIT_PULSE, SHARP_PULSE_MARGIN))
            break;
        if (s->state == SHARP_IDLE)
            s->count = 0;
        s->pulse_len = d;
        s->state = SHARP_BIT_SPACE_NEXT;
        return 0;
    case SHARP_BIT_SPACE_NEXT: {
        /* Summed in 32 bits, wrapping as the kernel's sum does. */
        const uint32_t period = s->pulse_len + d;
        if (ev.pulse)
            break;
        s->bits <<= 1;
        if (rc_ir_near(period, SHARP_BIT_1_PERIOD, SHARP_PERIOD_MARGIN))
            s->bits |= 1u;
        else if (!rc_ir_near(period, SHARP_BIT_0_PERIOD, SHARP_PERIOD_MARGIN))
            break;
        ++s->count;
        s->state =
            s->count == SHARP_BITS || s->count == 2u * SHARP_BITS ? SHARP_TRAILER_PULSE_NEXT : SHARP_BIT_PULSE_NEXT;
        return 0;
    }
    case SHARP_TRAILER_PULSE_NEXT:
        if (!ev.pulse || !rc_ir_near(d, SHARP_BIT_PULSE, SHARP_PULSE_MARGIN))
            break;
        if (s->count != SHARP_BITS)
        {
            s->state = SHARP_TRAILER_SPACE_NEXT;
            return 0;
        }
        /* The first frame's expansion and check bits: Sharp's 1,0 or Denon's 0,0. */
        if ((s->bits & 3u) != 2u && (s->bits & 3u) != 0u)
            break;
        s->state = SHARP_ECHO_SPACE_NEXT;
        return 0;
    case SHARP_ECHO_SPACE_NEXT:
        if (ev.pulse || !rc_ir_near(d, SHARP_ECHO_SPACE, SHARP_ECHO_MARGIN))
            break;
        s->state = SHARP_BIT_PULSE_NEXT;
        return 0;
    case SHARP_TRAILER_SPACE_NEXT:
        if (ev.pulse || !rc_ir_at_least(d, SHARP_TRAILER_SPACE, SHARP_PULSE_MARGIN))
            break;
        if (!frame_end(s, out))
            break;
        s->state = SHARP_IDLE;
        return 1;
    default:
        break;
    }
    s->state = SHARP_IDLE;
    return 0;
}
