/* JVC with its header-less repeats, with the kernel's margins. */
#include "rc_dec_jvc.h"

#include "rc_record.h"

#define JVC_UNIT 525u
#define JVC_HEADER_PULSE (16u * JVC_UNIT)
#define JVC_HEADER_SPACE (8u * JVC_UNIT)
#define JVC_BIT_PULSE JVC_UNIT
#define JVC_BIT_0_SPACE JVC_UNIT
#define JVC_BIT_1_SPACE (3u * JVC_UNIT)
#define JVC_TRAILER_PULSE JVC_UNIT
#define JVC_TRAILER_SPACE (35u * JVC_UNIT)
#define JVC_BITS 16u
#define JVC_MARGIN (JVC_UNIT / 2u)

enum
{
    JVC_IDLE = 0,
    JVC_HEADER_SPACE_NEXT,
    JVC_BIT_PULSE_NEXT,
    JVC_BIT_SPACE_NEXT,
    JVC_TRAILER_PULSE_NEXT,
    JVC_TRAILER_SPACE_NEXT,
    /* After a key: a header starts a new press, a bit pulse a repeat. */
    JVC_AFTER_KEY = RC_DEC_JVC_STATE_AFTER_KEY
};

/* Both bounds open, as the kernel compares. */
static int near(uint32_t d, uint32_t want)
{
    return rc_ir_near(d, want, JVC_MARGIN);
}

static int at_least(uint32_t d, uint32_t want)
{
    return rc_ir_at_least(d, want, JVC_MARGIN);
}

/* The frame's trailer space: the key, its repeat, or a frame that is
 * neither (0, and the decoder starts over). */
static int frame_end(rc_dec_jvc* s, rc_ir_key* out)
{
    if (s->first)
    {
        out->proto = RC_PROTO_JVC;
        out->toggle = s->toggle;
        out->repeat = 0;
        out->scancode = (uint32_t)rc_ir_reversed((uint32_t)s->bits >> 8) << 8 | rc_ir_reversed(s->bits);
        s->first = 0;
        s->key_bits = s->bits;
    }
    else if (s->bits == s->key_bits)
    {
        out->proto = 0;
        out->toggle = 0;
        out->repeat = 1;
        out->scancode = 0;
    }
    else
        return 0;
    s->count = 0;
    s->state = JVC_AFTER_KEY;
    return 1;
}

int rc_dec_jvc_feed(void* state, rc_ir_event ev, rc_ir_key* out)
{
    rc_dec_jvc* s = state;
    const uint32_t d = ev.duration_us;
    if (ev.overflow)
    {
        s->state = JVC_IDLE;
        return 0;
    }
    /* Nothing in JVC is under half a unit: such an event is noise and the
     * frame is lost, whatever the state. */
    if (!at_least(d, JVC_UNIT))
    {
        s->state = JVC_IDLE;
        return 0;
    }
    if (s->state == JVC_AFTER_KEY && ev.pulse)
        s->state = near(d, JVC_HEADER_PULSE) ? JVC_IDLE : JVC_BIT_PULSE_NEXT;
    switch (s->state)
    {
    case JVC_IDLE:
        if (!ev.pulse || !near(d, JVC_HEADER_PULSE))
            break;
        s->count = 0;
        s->first = 1;
        s->toggle = !s->toggle;
        s->state = JVC_HEADER_SPACE_NEXT;
        return 0;
    case JVC_HEADER_SPACE_NEXT:
        if (ev.pulse || !near(d, JVC_HEADER_SPACE))
            break;
        s->state = JVC_BIT_PULSE_NEXT;
        return 0;
    case JVC_BIT_PULSE_NEXT:
        if (!ev.pulse || !near(d, JVC_BIT_PULSE))
            break;
        s->state = JVC_BIT_SPACE_NEXT;
        return 0;
    case JVC_BIT_SPACE_NEXT:
        if (ev.pulse)
            break;
        s->bits = (uint16_t)(s->bits << 1);
        if (near(d, JVC_BIT_1_SPACE))
            s->bits |= 1u;
        else if (!near(d, JVC_BIT_0_SPACE))
            break;
        ++s->count;
        s->state = s->count == JVC_BITS ? JVC_TRAILER_PULSE_NEXT : JVC_BIT_PULSE_NEXT;
        return 0;
    case JVC_TRAILER_PULSE_NEXT:
        if (!ev.pulse || !near(d, JVC_TRAILER_PULSE))
            break;
        s->state = JVC_TRAILER_SPACE_NEXT;
        return 0;
    case JVC_TRAILER_SPACE_NEXT:
        if (ev.pulse || !at_least(d, JVC_TRAILER_SPACE))
            break;
        if (frame_end(s, out))
            return 1;
        break;
    default:
        break;
    }
    s->state = JVC_IDLE;
    return 0;
}
