/* RC-5 and its two longer variants, after the kernel's ir-rc5-decoder.
 *
 * A bit is two half-bit units of 889 us (space then pulse is a 1), so a
 * duration of two units holds the end of one bit and the start of the next:
 * each state takes what it needs of the event and hands the rest on, and a
 * rest shorter than half a unit is dropped, not an error. */
#include "rc_dec_rc5.h"

#include "rc_record.h"

#define UNIT_US 889u
#define HALF_US (UNIT_US / 2u)
/* The space RC-5X puts after its first 8 bits, and the one that ends any
 * frame (far longer on air; the kernel asks for six units). */
#define RC5X_SPACE_US (4u * UNIT_US)
#define TRAILER_US (6u * UNIT_US)
/* RC-5X looks for its extra space once this many bits are in. */
#define RC5X_CHECK_BITS 8u
#define RC5_BITS 14u
#define RC5_SZ_BITS 15u
#define RC5X_BITS 20u

enum
{
    WAIT_PULSE, /* all zero */
    BIT_START,
    BIT_END,
    CHECK_RC5X,
    FINISHED
};

/* The key of a complete frame, or 0 where the kernel takes none (a length
 * no variant has). */
static int frame_key(const rc_dec_rc5* dec, rc_ir_key* out)
{
    const uint32_t bits = dec->bits;
    uint32_t command;
    out->repeat = 0;
    if (dec->is_rc5x && dec->count == RC5X_BITS)
    {
        /* The second start bit, sent inverted, is the command's 7th bit. */
        command = ((bits >> 6) & 0x3Fu) + ((bits & 0x40000u) ? 0u : 0x40u);
        out->proto = RC_PROTO_RC5X_20;
        out->toggle = (bits & 0x20000u) ? 1u : 0u;
        out->scancode = ((bits >> 12) & 0x1Fu) << 16 | command << 8 | (bits & 0x3Fu);
        return 1;
    }
    if (!dec->is_rc5x && dec->count == RC5_BITS)
    {
        command = (bits & 0x3Fu) + ((bits & 0x1000u) ? 0u : 0x40u);
        out->proto = RC_PROTO_RC5;
        out->toggle = (bits & 0x800u) ? 1u : 0u;
        out->scancode = ((bits >> 6) & 0x1Fu) << 8 | command;
        return 1;
    }
    if (!dec->is_rc5x && dec->count == RC5_SZ_BITS)
    {
        /* The scancode is the bits as sent, all but the toggle, StreamZap's
         * extra bit beside it included. */
        out->proto = RC_PROTO_RC5_SZ;
        out->toggle = (bits & 0x1000u) ? 1u : 0u;
        out->scancode = bits & 0x2FFFu;
        return 1;
    }
    return 0;
}

int rc_dec_rc5_feed(void* state, rc_ir_event event, rc_ir_key* out)
{
    rc_dec_rc5* dec = (rc_dec_rc5*)state;
    uint32_t us = event.duration_us;

    if (event.overflow)
    {
        dec->state = WAIT_PULSE;
        return 0;
    }
    /* Too short to be anything is a glitch that ends the frame. */
    if (!rc_ir_at_least(us, UNIT_US, HALF_US))
        goto fail;
    for (;;)
    {
        if (!rc_ir_at_least(us, UNIT_US, HALF_US))
            return 0;
        switch (dec->state)
        {
        case WAIT_PULSE:
            if (!event.pulse)
                goto fail;
            /* The first start bit's space is the gap before the frame: its
             * pulse alone is seen, and counted as the first bit. */
            dec->state = BIT_START;
            dec->count = 1;
            us = rc_ir_less(us, UNIT_US);
            break;
        case BIT_START:
            if (!event.pulse && rc_ir_at_least(us, TRAILER_US, HALF_US))
            {
                dec->state = FINISHED;
                break;
            }
            if (!rc_ir_near(us, UNIT_US, HALF_US))
                goto fail;
            dec->bits = dec->bits << 1 | (event.pulse ? 0u : 1u);
            dec->count++;
            dec->state = BIT_END;
            return 0;
        case BIT_END:
            dec->state = dec->count == RC5X_CHECK_BITS ? CHECK_RC5X : BIT_START;
            us = rc_ir_less(us, UNIT_US);
            break;
        case CHECK_RC5X:
            dec->is_rc5x = (uint8_t)(!event.pulse && rc_ir_at_least(us, RC5X_SPACE_US, HALF_US));
            if (dec->is_rc5x)
                us = rc_ir_less(us, RC5X_SPACE_US);
            dec->state = BIT_START;
            break;
        default: /* FINISHED */
            dec->state = WAIT_PULSE;
            return !event.pulse && frame_key(dec, out);
        }
    }

fail:
    dec->state = WAIT_PULSE;
    return 0;
}
