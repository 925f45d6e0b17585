/* RC-6, after the kernel's ir-rc6-decoder.
 *
 * Bits are two units of 444 us, pulse then space for a 1; the header's
 * toggle bit is twice as long. As in RC-5, an event longer than what a
 * state takes of it is handed on to the next state, and a rest shorter
 * than half a unit is dropped. Mode 6A frames may be of any length, ended
 * by a long space; mode 0 is always 16 bits. */
#include "rc_dec_rc6.h"

#include "rc_record.h"

#define UNIT_US 444u
#define HALF_US (UNIT_US / 2u)
#define LEADER_PULSE_US (6u * UNIT_US)
#define LEADER_SPACE_US (2u * UNIT_US)
#define TOGGLE_HALF_US (2u * UNIT_US)
#define SUFFIX_SPACE_US (6u * UNIT_US)
#define HEADER_BITS 4u
#define MODE_0_BITS 16u
/* Mode 6A has no fixed length: read up to this many, keep the first 32. */
#define MODE_6A_MAX_BITS 128u
#define BODY_KEPT_BITS 32u
#define HEADER_START_BIT 0x08u
#define HEADER_MODE_MASK 0x07u
/* The 32-bit frames of these customers are MCE ones, their toggle in the
 * body rather than the header. */
#define MCE_CUSTOMER_MASK 0xFFFF0000u
#define MCE_TOGGLE_BIT 0x8000u

enum
{
    WAIT_PULSE, /* all zero */
    LEADER_SPACE,
    HEADER_BIT_START,
    HEADER_BIT_END,
    TOGGLE_START,
    TOGGLE_END,
    BODY_BIT_START,
    BODY_BIT_END,
    FINISHED
};

enum
{
    MODE_0,
    MODE_6A,
    MODE_UNKNOWN
};

/* Mode 6 with its trailer bit set is not one the kernel knows. */
static int mode(const rc_dec_rc6* dec)
{
    switch (dec->header & HEADER_MODE_MASK)
    {
    case 0:
        return MODE_0;
    case 6:
        return dec->toggle ? MODE_UNKNOWN : MODE_6A;
    default:
        return MODE_UNKNOWN;
    }
}

static int is_mce_customer(uint32_t body)
{
    switch (body & MCE_CUSTOMER_MASK)
    {
    case 0x800F0000u: /* Microsoft */
    case 0x80340000u: /* Zotac */
    case 0x80460000u: /* Kathrein */
        return 1;
    default:
        return 0;
    }
}

static int frame_key(const rc_dec_rc6* dec, rc_ir_key* out)
{
    out->repeat = 0;
    out->scancode = dec->body;
    if (mode(dec) == MODE_0)
    {
        out->proto = RC_PROTO_RC6_0;
        out->toggle = dec->toggle;
        return 1;
    }
    /* Mode 6A: the lengths with a protocol of their own, and no more bits
     * than the body kept. */
    out->toggle = 0;
    switch (dec->count)
    {
    case 20:
        out->proto = RC_PROTO_RC6_6A_20;
        return 1;
    case 24:
        out->proto = RC_PROTO_RC6_6A_24;
        return 1;
    case 32:
        if (!is_mce_customer(dec->body))
        {
            out->proto = RC_PROTO_RC6_6A_32;
            return 1;
        }
        out->proto = RC_PROTO_RC6_MCE;
        out->toggle = (dec->body & MCE_TOGGLE_BIT) ? 1u : 0u;
        out->scancode = dec->body & ~MCE_TOGGLE_BIT;
        return 1;
    default:
        return 0;
    }
}

int rc_dec_rc6_feed(void* state, rc_ir_event event, rc_ir_key* out)
{
    rc_dec_rc6* dec = (rc_dec_rc6*)state;
    uint32_t us = event.duration_us;
    const uint8_t pulse = event.pulse ? 1u : 0u;

    if (event.overflow)
    {
        dec->state = WAIT_PULSE;
        return 0;
    }
    if (!rc_ir_at_least(us, UNIT_US, HALF_US))
    {
        dec->state = WAIT_PULSE;
        return 0;
    }
    for (;;)
    {
        if (!rc_ir_at_least(us, UNIT_US, HALF_US))
            return 0;
        switch (dec->state)
        {
        case WAIT_PULSE:
            /* A whole unit of margin on the leader: receivers are slow to
             * settle on the first pulse, and units are short. */
            if (!pulse || !rc_ir_near(us, LEADER_PULSE_US, UNIT_US))
                goto fail;
            dec->state = LEADER_SPACE;
            dec->count = 0;
            return 0;
        case LEADER_SPACE:
            if (pulse || !rc_ir_near(us, LEADER_SPACE_US, HALF_US))
                goto fail;
            dec->state = HEADER_BIT_START;
            dec->header = 0;
            return 0;
        case HEADER_BIT_START:
            if (!rc_ir_near(us, UNIT_US, HALF_US))
                goto fail;
            dec->header = (uint8_t)(dec->header << 1 | pulse);
            dec->count++;
            dec->state = HEADER_BIT_END;
            return 0;
        case HEADER_BIT_END:
            dec->state = dec->count == HEADER_BITS ? TOGGLE_START : HEADER_BIT_START;
            us = rc_ir_less(us, UNIT_US);
            break;
        case TOGGLE_START:
            if (!rc_ir_near(us, TOGGLE_HALF_US, HALF_US))
                goto fail;
            dec->toggle = pulse;
            dec->state = TOGGLE_END;
            return 0;
        case TOGGLE_END:
            if (!(dec->header & HEADER_START_BIT))
                goto fail;
            us = rc_ir_less(us, TOGGLE_HALF_US);
            dec->count = 0;
            dec->body = 0;
            switch (mode(dec))
            {
            case MODE_0:
                dec->wanted_bits = MODE_0_BITS;
                break;
            case MODE_6A:
                dec->wanted_bits = MODE_6A_MAX_BITS;
                break;
            default:
                goto fail;
            }
            dec->state = BODY_BIT_START;
            break;
        case BODY_BIT_START:
            if (rc_ir_near(us, UNIT_US, HALF_US))
            {
                if (dec->count++ < BODY_KEPT_BITS)
                    dec->body = dec->body << 1 | pulse;
                dec->state = BODY_BIT_END;
                return 0;
            }
            /* Only mode 6A ends on a space; mode 0 must have its 16. */
            if (mode(dec) != MODE_6A || pulse || !rc_ir_at_least(us, SUFFIX_SPACE_US, HALF_US))
                goto fail;
            dec->state = FINISHED;
            break;
        case BODY_BIT_END:
            dec->state = dec->count == dec->wanted_bits ? FINISHED : BODY_BIT_START;
            us = rc_ir_less(us, UNIT_US);
            break;
        default: /* FINISHED */
            dec->state = WAIT_PULSE;
            return !pulse && frame_key(dec, out);
        }
    }

fail:
    dec->state = WAIT_PULSE;
    return 0;
}
