/* NEC, NEC-X and 32-bit NEC, with the kernel's margins. */
#include "rc_dec_nec.h"

#include "rc_record.h"

#define NEC_UNIT 563u
#define NEC_HEADER_PULSE (16u * NEC_UNIT)
#define NECX_HEADER_PULSE (8u * NEC_UNIT)
#define NEC_HEADER_SPACE (8u * NEC_UNIT)
#define NEC_REPEAT_SPACE (4u * NEC_UNIT)
#define NEC_BIT_PULSE NEC_UNIT
#define NEC_BIT_0_SPACE NEC_UNIT
#define NEC_BIT_1_SPACE (3u * NEC_UNIT)
#define NEC_TRAILER_PULSE NEC_UNIT
#define NEC_TRAILER_SPACE (10u * NEC_UNIT)
#define NEC_BITS 32u
/* NEC-X's repeat is cut off after this many bits by a trailer-long space. */
#define NECX_REPEAT_BITS 1u

enum
{
    NEC_IDLE = 0,
    NEC_HEADER_SPACE_NEXT,
    NEC_BIT_PULSE_NEXT,
    NEC_BIT_SPACE_NEXT,
    NEC_TRAILER_PULSE_NEXT,
    NEC_TRAILER_SPACE_NEXT
};

static int repeat(rc_dec_nec* s, rc_ir_key* out)
{
    out->proto = 0;
    out->toggle = 0;
    out->repeat = 1;
    out->scancode = 0;
    s->state = NEC_IDLE;
    return 1;
}

/* A byte that is not the inverse of the one before it carries data: the
 * command's check failing makes all four bytes the code, the address's
 * failing makes its two bytes the address. */
static int keydown(rc_dec_nec* s, rc_ir_key* out)
{
    const uint8_t address = rc_ir_reversed(s->bits >> 24);
    const uint8_t not_address = rc_ir_reversed(s->bits >> 16);
    const uint8_t command = rc_ir_reversed(s->bits >> 8);
    const uint8_t not_command = rc_ir_reversed(s->bits);
    if ((command ^ not_command) != 0xFF)
    {
        out->proto = RC_PROTO_NEC32;
        out->scancode = (uint32_t)not_address << 24 | (uint32_t)address << 16 | (uint32_t)not_command << 8 | command;
    }
    else if ((address ^ not_address) != 0xFF)
    {
        out->proto = RC_PROTO_NECX;
        out->scancode = (uint32_t)address << 16 | (uint32_t)not_address << 8 | command;
    }
    else
    {
        out->proto = RC_PROTO_NEC;
        out->scancode = (uint32_t)address << 8 | command;
    }
    out->toggle = 0;
    out->repeat = 0;
    if (s->necx)
        s->necx_repeat = 1;
    s->state = NEC_IDLE;
    return 1;
}

int rc_dec_nec_feed(void* state, rc_ir_event ev, rc_ir_key* out)
{
    rc_dec_nec* s = state;
    const uint32_t d = ev.duration_us;
    if (ev.overflow)
    {
        s->state = NEC_IDLE;
        return 0;
    }
    switch (s->state)
    {
    case NEC_IDLE:
        if (!ev.pulse)
            break;
        if (rc_ir_near(d, NEC_HEADER_PULSE, 2u * NEC_UNIT))
        {
            s->necx = 0;
            s->necx_repeat = 0;
        }
        else if (rc_ir_near(d, NECX_HEADER_PULSE, NEC_UNIT / 2u))
            s->necx = 1;
        else
            break;
        s->count = 0;
        s->state = NEC_HEADER_SPACE_NEXT;
        return 0;
    case NEC_HEADER_SPACE_NEXT:
        if (ev.pulse)
            break;
        if (rc_ir_near(d, NEC_HEADER_SPACE, NEC_UNIT))
        {
            s->state = NEC_BIT_PULSE_NEXT;
            return 0;
        }
        /* The repeat code: straight to the trailer with no bits. */
        if (rc_ir_near(d, NEC_REPEAT_SPACE, NEC_UNIT / 2u))
        {
            s->state = NEC_TRAILER_PULSE_NEXT;
            return 0;
        }
        break;
    case NEC_BIT_PULSE_NEXT:
        if (!ev.pulse || !rc_ir_near(d, NEC_BIT_PULSE, NEC_UNIT / 2u))
            break;
        s->state = NEC_BIT_SPACE_NEXT;
        return 0;
    case NEC_BIT_SPACE_NEXT:
        if (ev.pulse)
            break;
        if (s->necx_repeat && s->count == NECX_REPEAT_BITS && rc_ir_at_least(d, NEC_TRAILER_SPACE, NEC_UNIT / 2u))
            return repeat(s, out);
        if (s->count > NECX_REPEAT_BITS)
            s->necx_repeat = 0;
        s->bits <<= 1;
        if (rc_ir_near(d, NEC_BIT_1_SPACE, NEC_UNIT / 2u))
            s->bits |= 1u;
        else if (!rc_ir_near(d, NEC_BIT_0_SPACE, NEC_UNIT / 2u))
            break;
        ++s->count;
        s->state = s->count == NEC_BITS ? NEC_TRAILER_PULSE_NEXT : NEC_BIT_PULSE_NEXT;
        return 0;
    case NEC_TRAILER_PULSE_NEXT:
        if (!ev.pulse || !rc_ir_near(d, NEC_TRAILER_PULSE, NEC_UNIT / 2u))
            break;
        s->state = NEC_TRAILER_SPACE_NEXT;
        return 0;
    case NEC_TRAILER_SPACE_NEXT:
        if (ev.pulse || !rc_ir_at_least(d, NEC_TRAILER_SPACE, NEC_UNIT / 2u))
            break;
        /* Only the repeat code comes to the trailer with no bits. */
        if (s->count == NEC_BITS)
            return keydown(s, out);
        return repeat(s, out);
    default:
        break;
    }
    /* The event that broke the frame is not looked at again as a header. */
    s->state = NEC_IDLE;
    return 0;
}
