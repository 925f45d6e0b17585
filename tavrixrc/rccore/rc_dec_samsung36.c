/* Samsung36, with margins in the kernel's way: half a unit for the one-unit
 * durations; a unit for a 1's space and a unit and a half for the header
 * and the middle space, since a remote off by 10% and a receiver that
 * stretches pulses and shortens spaces by 100 us or more take those
 * further than half a unit from their length. */
#include "rc_dec_samsung36.h"

#include "rc_record.h"

#define SAMSUNG36_UNIT 560u
#define SAMSUNG36_HEADER_PULSE 4500u
#define SAMSUNG36_HEADER_SPACE 4500u
#define SAMSUNG36_BIT_PULSE SAMSUNG36_UNIT
#define SAMSUNG36_BIT_0_SPACE SAMSUNG36_UNIT
#define SAMSUNG36_BIT_1_SPACE (3u * SAMSUNG36_UNIT)
#define SAMSUNG36_MIDDLE_SPACE (9u * SAMSUNG36_UNIT)
#define SAMSUNG36_TRAILER_PULSE SAMSUNG36_UNIT
#define SAMSUNG36_TRAILER_SPACE RC_DEC_SAMSUNG36_MIN_TIMEOUT_US
#define SAMSUNG36_FIRST_BITS 16u
#define SAMSUNG36_BITS 36u
#define SAMSUNG36_SHORT_MARGIN (SAMSUNG36_UNIT / 2u)
#define SAMSUNG36_LONG_MARGIN SAMSUNG36_UNIT
#define SAMSUNG36_HEADER_MARGIN (3u * SAMSUNG36_UNIT / 2u)

enum
{
    SAMSUNG36_IDLE = 0,
    SAMSUNG36_HEADER_SPACE_NEXT,
    SAMSUNG36_BIT_PULSE_NEXT,
    SAMSUNG36_BIT_SPACE_NEXT,
    SAMSUNG36_TRAILER_PULSE_NEXT,
    SAMSUNG36_TRAILER_SPACE_NEXT
};

/* 0 for a frame whose function's inverse fails: no key. */
static int frame_end(const rc_dec_samsung36* s, rc_ir_key* out)
{
    const uint32_t device = rc_ir_field(s->bits, 0, 8);
    const uint32_t subdevice = rc_ir_field(s->bits, 8, 8);
    const uint32_t extra = rc_ir_field(s->bits, 16, 4);
    const uint32_t function = rc_ir_field(s->bits, 20, 8);
    const uint32_t not_function = rc_ir_field(s->bits, 28, 8);
    if ((function ^ not_function) != 0xFFu)
        return 0;
    out->proto = RC_PROTO_SAMSUNG36;
    out->toggle = 0;
    out->repeat = 0;
    out->scancode = device << 24 | subdevice << 16 | extra << 8 | function;
    return 1;
}

int rc_dec_samsung36_feed(void* state, rc_ir_event ev, rc_ir_key* out)
{
    rc_dec_samsung36* s = state;
    const uint32_t d = ev.duration_us;
    if (ev.overflow)
    {
        s->state = SAMSUNG36_IDLE;
        return 0;
    }
    switch (s->state)
    {
    case SAMSUNG36_IDLE:
        if (!ev.pulse || !rc_ir_near(d, SAMSUNG36_HEADER_PULSE, SAMSUNG36_HEADER_MARGIN))
            break;
        s->count = 0;
        s->middle = 0;
        s->bits = 0;
        s->state = SAMSUNG36_HEADER_SPACE_NEXT;
        return 0;
    case SAMSUNG36_HEADER_SPACE_NEXT:
        if (ev.pulse || !rc_ir_near(d, SAMSUNG36_HEADER_SPACE, SAMSUNG36_HEADER_MARGIN))
            break;
        s->state = SAMSUNG36_BIT_PULSE_NEXT;
        return 0;
    case SAMSUNG36_BIT_PULSE_NEXT:
        if (!ev.pulse || !rc_ir_near(d, SAMSUNG36_BIT_PULSE, SAMSUNG36_SHORT_MARGIN))
            break;
        s->state = SAMSUNG36_BIT_SPACE_NEXT;
        return 0;
    case SAMSUNG36_BIT_SPACE_NEXT:
        if (ev.pulse)
            break;
        /* After the first 16 bits, the pulse just taken was the middle
         * one: its space is the long one, and no bit. NEC's 32-bit frames
         * of the same header break here. */
        if (s->count == SAMSUNG36_FIRST_BITS && !s->middle)
        {
            if (!rc_ir_near(d, SAMSUNG36_MIDDLE_SPACE, SAMSUNG36_HEADER_MARGIN))
                break;
            s->middle = 1;
            s->state = SAMSUNG36_BIT_PULSE_NEXT;
            return 0;
        }
        if (rc_ir_near(d, SAMSUNG36_BIT_1_SPACE, SAMSUNG36_LONG_MARGIN))
            s->bits |= (uint64_t)1u << s->count;
        else if (!rc_ir_near(d, SAMSUNG36_BIT_0_SPACE, SAMSUNG36_SHORT_MARGIN))
            break;
        ++s->count;
        s->state = s->count == SAMSUNG36_BITS ? SAMSUNG36_TRAILER_PULSE_NEXT : SAMSUNG36_BIT_PULSE_NEXT;
        return 0;
    case SAMSUNG36_TRAILER_PULSE_NEXT:
        if (!ev.pulse || !rc_ir_near(d, SAMSUNG36_TRAILER_PULSE, SAMSUNG36_SHORT_MARGIN))
            break;
        s->state = SAMSUNG36_TRAILER_SPACE_NEXT;
        return 0;
    case SAMSUNG36_TRAILER_SPACE_NEXT:
        /* Anything shorter is a 37th bit: a longer frame of another kind. */
        if (ev.pulse || d <= SAMSUNG36_TRAILER_SPACE - SAMSUNG36_SHORT_MARGIN)
            break;
        s->state = SAMSUNG36_IDLE;
        return frame_end(s, out);
    default:
        break;
    }
    /* The event that broke the frame is not looked at again as a header. */
    s->state = SAMSUNG36_IDLE;
    return 0;
}
