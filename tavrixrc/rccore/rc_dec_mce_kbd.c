/* MCIR-2, after the kernel's ir-mce_kbd-decoder.
 *
 * An RC-6-like Manchester code of 333 us units (pulse then space is a 1)
 * after a leader pulse of eight units: five header bits, of which the low
 * four say keyboard (32 body bits) or mouse (29). A bit's value is the
 * level of the event that starts it, however long up to the longest the
 * protocol sends; its end takes one unit of the next event and hands the
 * rest on. */
#include "rc_dec_mce_kbd.h"

#include "rc_record.h"

#define UNIT_US 333u
#define HALF_US (UNIT_US / 2u)
#define LEADER_PULSE_US (8u * UNIT_US)
/* No level lasts longer within a frame. */
#define LONGEST_US (3u * UNIT_US)
#define HEADER_BITS 5u
#define HEADER_MODE_MASK 0x0Fu
#define HEADER_KEYBOARD 0x4u
#define HEADER_MOUSE 0x1u
#define KEYBOARD_BITS 32u
#define MOUSE_BITS 29u

enum
{
    WAIT_PULSE, /* all zero */
    HEADER_BIT_START,
    HEADER_BIT_END,
    BODY_BIT_START,
    BODY_BIT_END,
    FINISHED
};

int rc_dec_mce_kbd_feed(void* state, rc_ir_event event, rc_ir_key* out)
{
    rc_dec_mce_kbd* dec = (rc_dec_mce_kbd*)state;
    uint32_t us = event.duration_us;
    const uint8_t pulse = event.pulse ? 1u : 0u;

    if (event.overflow)
    {
        dec->state = WAIT_PULSE;
        return 0;
    }
    if (!rc_ir_at_least(us, UNIT_US, HALF_US))
        goto fail;
    for (;;)
    {
        if (!rc_ir_at_least(us, UNIT_US, HALF_US))
            return 0;
        switch (dec->state)
        {
        case WAIT_PULSE:
            /* A whole unit of margin on the leader, as in RC-6. */
            if (!pulse || !rc_ir_near(us, LEADER_PULSE_US, UNIT_US))
                goto fail;
            dec->state = HEADER_BIT_START;
            dec->count = 0;
            dec->header = 0;
            return 0;
        case HEADER_BIT_START:
            if (rc_ir_at_least(us, LONGEST_US, HALF_US))
                goto fail;
            dec->header = (uint8_t)(dec->header << 1 | pulse);
            dec->count++;
            dec->state = HEADER_BIT_END;
            return 0;
        case HEADER_BIT_END:
            us = rc_ir_less(us, UNIT_US);
            if (dec->count != HEADER_BITS)
            {
                dec->state = HEADER_BIT_START;
                break;
            }
            switch (dec->header & HEADER_MODE_MASK)
            {
            case HEADER_KEYBOARD:
                dec->wanted_bits = KEYBOARD_BITS;
                break;
            case HEADER_MOUSE:
                dec->wanted_bits = MOUSE_BITS;
                break;
            default:
                goto fail;
            }
            dec->count = 0;
            dec->body = 0;
            dec->state = BODY_BIT_START;
            break;
        case BODY_BIT_START:
            if (rc_ir_at_least(us, LONGEST_US, HALF_US))
                goto fail;
            dec->body = dec->body << 1 | pulse;
            dec->count++;
            dec->state = BODY_BIT_END;
            return 0;
        case BODY_BIT_END:
            dec->state = dec->count == dec->wanted_bits ? FINISHED : BODY_BIT_START;
            us = rc_ir_less(us, UNIT_US);
            break;
        default: /* FINISHED */
            if (pulse)
                goto fail;
            dec->state = WAIT_PULSE;
            out->toggle = 0;
            out->repeat = 0;
            /* The body's top byte is not part of the scancode. */
            if (dec->wanted_bits == KEYBOARD_BITS)
            {
                out->proto = RC_PROTO_MCIR2_KBD;
                out->scancode = dec->body & 0xFFFFFFu;
            }
            else
            {
                out->proto = RC_PROTO_MCIR2_MSE;
                out->scancode = dec->body & 0x1FFFFFu;
            }
            return 1;
        }
    }

fail:
    dec->state = WAIT_PULSE;
    return 0;
}
