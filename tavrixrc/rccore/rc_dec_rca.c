/* RCA, with margins in the kernel's way: half a unit for the short
 * durations; a unit for a 1's space and a unit and a half for the header,
 * since a remote off by 10% and a receiver that stretches pulses and
 * shortens spaces by 100 us or more take those further than half a unit
 * from their length. */
#include "rc_dec_rca.h"

#include "rc_record.h"

#define RCA_UNIT 460u
#define RCA_HEADER_PULSE (8u * RCA_UNIT)
#define RCA_HEADER_SPACE (8u * RCA_UNIT)
#define RCA_BIT_PULSE RCA_UNIT
#define RCA_BIT_0_SPACE (2u * RCA_UNIT)
#define RCA_BIT_1_SPACE (4u * RCA_UNIT)
#define RCA_TRAILER_PULSE RCA_UNIT
#define RCA_TRAILER_SPACE RC_DEC_RCA_MIN_TIMEOUT_US
#define RCA_BITS 24u
#define RCA_SHORT_MARGIN (RCA_UNIT / 2u)
#define RCA_LONG_MARGIN RCA_UNIT
#define RCA_HEADER_MARGIN (3u * RCA_UNIT / 2u)

enum
{
    RCA_IDLE = 0,
    RCA_HEADER_SPACE_NEXT,
    RCA_BIT_PULSE_NEXT,
    RCA_BIT_SPACE_NEXT,
    RCA_TRAILER_PULSE_NEXT,
    RCA_TRAILER_SPACE_NEXT
};

/* 0 for a frame whose inverses fail: no key. */
static int frame_end(const rc_dec_rca* s, rc_ir_key* out)
{
    const uint32_t device = s->bits >> 20 & 0xFu;
    const uint32_t function = s->bits >> 12 & 0xFFu;
    const uint32_t not_device = s->bits >> 8 & 0xFu;
    const uint32_t not_function = s->bits & 0xFFu;
    if ((device ^ not_device) != 0xFu || (function ^ not_function) != 0xFFu)
        return 0;
    out->proto = RC_PROTO_RCA;
    out->toggle = 0;
    out->repeat = 0;
    out->scancode = device << 8 | function;
    return 1;
}

int rc_dec_rca_feed(void* state, rc_ir_event ev, rc_ir_key* out)
{
    rc_dec_rca* s = state;
    const uint32_t d = ev.duration_us;
    if (ev.overflow)
    {
        s->state = RCA_IDLE;
        return 0;
    }
    switch (s->state)
    {
    case RCA_IDLE:
        if (!ev.pulse || !rc_ir_near(d, RCA_HEADER_PULSE, RCA_HEADER_MARGIN))
            break;
        s->count = 0;
        s->bits = 0;
        s->state = RCA_HEADER_SPACE_NEXT;
        return 0;
    case RCA_HEADER_SPACE_NEXT:
        if (ev.pulse || !rc_ir_near(d, RCA_HEADER_SPACE, RCA_HEADER_MARGIN))
            break;
        s->state = RCA_BIT_PULSE_NEXT;
        return 0;
    case RCA_BIT_PULSE_NEXT:
        if (!ev.pulse || !rc_ir_near(d, RCA_BIT_PULSE, RCA_SHORT_MARGIN))
            break;
        s->state = RCA_BIT_SPACE_NEXT;
        return 0;
    case RCA_BIT_SPACE_NEXT:
        if (ev.pulse)
            break;
        s->bits <<= 1;
        if (rc_ir_near(d, RCA_BIT_1_SPACE, RCA_LONG_MARGIN))
            s->bits |= 1u;
        else if (!rc_ir_near(d, RCA_BIT_0_SPACE, RCA_SHORT_MARGIN))
            break;
        ++s->count;
        s->state = s->count == RCA_BITS ? RCA_TRAILER_PULSE_NEXT : RCA_BIT_PULSE_NEXT;
        return 0;
    case RCA_TRAILER_PULSE_NEXT:
        if (!ev.pulse || !rc_ir_near(d, RCA_TRAILER_PULSE, RCA_SHORT_MARGIN))
            break;
        s->state = RCA_TRAILER_SPACE_NEXT;
        return 0;
    case RCA_TRAILER_SPACE_NEXT:
        /* Anything shorter is a 25th bit: a longer frame of another kind. */
        if (ev.pulse || d <= RCA_TRAILER_SPACE - RCA_SHORT_MARGIN)
            break;
        s->state = RCA_IDLE;
        return frame_end(s, out);
    default:
        break;
    }
    /* The event that broke the frame is not looked at again as a header. */
    s->state = RCA_IDLE;
    return 0;
}
