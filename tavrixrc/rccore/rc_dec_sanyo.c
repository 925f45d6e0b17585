/* Sanyo (LC7461), with the kernel's margins. */
#include "rc_dec_sanyo.h"

#include "rc_record.h"

#define SANYO_UNIT 563u
#define SANYO_HEADER_PULSE (16u * SANYO_UNIT)
#define SANYO_HEADER_SPACE (8u * SANYO_UNIT)
#define SANYO_BIT_PULSE SANYO_UNIT
#define SANYO_BIT_0_SPACE SANYO_UNIT
#define SANYO_BIT_1_SPACE (3u * SANYO_UNIT)
#define SANYO_REPEAT_SPACE (150u * SANYO_UNIT)
#define SANYO_TRAILER_PULSE SANYO_UNIT
#define SANYO_TRAILER_SPACE (10u * SANYO_UNIT)
#define SANYO_BITS (13u + 13u + 8u + 8u)
#define SANYO_MARGIN (SANYO_UNIT / 2u)

enum
{
    SANYO_IDLE = 0,
    SANYO_HEADER_SPACE_NEXT,
    SANYO_BIT_PULSE_NEXT,
    SANYO_BIT_SPACE_NEXT,
    SANYO_TRAILER_PULSE_NEXT,
    SANYO_TRAILER_SPACE_NEXT
};

/* Both bounds open, as the kernel compares. */
static int near(uint32_t d, uint32_t want)
{
    return rc_ir_near(d, want, SANYO_MARGIN);
}

static int at_least(uint32_t d, uint32_t want)
{
    return rc_ir_at_least(d, want, SANYO_MARGIN);
}

static uint32_t reversed(uint32_t value, unsigned width)
{
    uint32_t r = 0;
    for (unsigned i = 0; i < width; ++i)
        r = r << 1 | ((value >> i) & 1u);
    return r;
}

/* 0 for a frame whose command fails its check: no key, and no error. */
static int frame_end(const rc_dec_sanyo* s, rc_ir_key* out)
{
    const uint32_t address = reversed((uint32_t)(s->bits >> 29) & 0x1FFFu, 13);
    const uint32_t command = reversed((uint32_t)(s->bits >> 8) & 0xFFu, 8);
    const uint32_t not_command = reversed((uint32_t)s->bits & 0xFFu, 8);
    if ((command ^ not_command) != 0xFFu)
        return 0;
    out->proto = RC_PROTO_SANYO;
    out->toggle = 0;
    out->repeat = 0;
    out->scancode = address << 8 | command;
    return 1;
}

int rc_dec_sanyo_feed(void* state, rc_ir_event ev, rc_ir_key* out)
{
    rc_dec_sanyo* s = state;
    const uint32_t d = ev.duration_us;
    if (ev.overflow)
    {
        s->state = SANYO_IDLE;
        return 0;
    }
    switch (s->state)
    {
    case SANYO_IDLE:
        if (!ev.pulse || !near(d, SANYO_HEADER_PULSE))
            break;
        s->count = 0;
        s->state = SANYO_HEADER_SPACE_NEXT;
        return 0;
    case SANYO_HEADER_SPACE_NEXT:
        if (ev.pulse || !near(d, SANYO_HEADER_SPACE))
            break;
        s->state = SANYO_BIT_PULSE_NEXT;
        return 0;
    case SANYO_BIT_PULSE_NEXT:
        if (!ev.pulse || !near(d, SANYO_BIT_PULSE))
            break;
        s->state = SANYO_BIT_SPACE_NEXT;
        return 0;
    case SANYO_BIT_SPACE_NEXT:
        if (ev.pulse)
            break;
        /* The repeat: a long space where the first bit's would be. */
        if (s->count == 0 && at_least(d, SANYO_REPEAT_SPACE))
        {
            out->proto = 0;
            out->toggle = 0;
            out->repeat = 1;
            out->scancode = 0;
            s->state = SANYO_IDLE;
            return 1;
        }
        s->bits <<= 1;
        if (near(d, SANYO_BIT_1_SPACE))
            s->bits |= 1u;
        else if (!near(d, SANYO_BIT_0_SPACE))
            break;
        ++s->count;
        s->state = s->count == SANYO_BITS ? SANYO_TRAILER_PULSE_NEXT : SANYO_BIT_PULSE_NEXT;
        return 0;
    case SANYO_TRAILER_PULSE_NEXT:
        if (!ev.pulse || !near(d, SANYO_TRAILER_PULSE))
            break;
        s->state = SANYO_TRAILER_SPACE_NEXT;
        return 0;
    case SANYO_TRAILER_SPACE_NEXT:
        if (ev.pulse || !at_least(d, SANYO_TRAILER_SPACE))
            break;
        s->state = SANYO_IDLE;
        return frame_end(s, out);
    default:
        break;
    }
    s->state = SANYO_IDLE;
    return 0;
}
