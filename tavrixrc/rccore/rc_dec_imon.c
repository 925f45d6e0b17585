/* iMON, after the kernel's ir-imon-decoder.
 *
 * After a one-unit pulse come 31 bits (30 down to 0) of two 416 us units:
 * a check unit, then the bit (space for a 1). For the bits named in
 * CHECK_BITS the check unit is a pulse exactly when this bit and the one
 * before are both 0; for the others it is always a space. Every event is
 * taken a unit at a time, whatever state the units lead through. */
#include "rc_dec_imon.h"

#include "rc_record.h"

#define UNIT_US 416u
#define HALF_US (UNIT_US / 2u)
#define FIRST_BIT 30
#define CHECK_BITS 0x437F7E00u /* bits 30, 25, 24, 22..16 and 14..9 */
/* After an error, a held stick's frames come some 12 ms apart: wait for a
 * space longer than this so as to start on a frame, not inside one. */
#define RESYNC_SPACE_US 10000u

/* The stick's key that flips it between mouse and keyboard, and its moves
 * as the kernel reports them in keyboard mode. */
#define STICK_MODE_KEY 0x299115B7u
#define STICK_DOWN 0x289515B7u
#define STICK_UP 0x2AA515B7u
#define STICK_RIGHT 0x2BA515B7u
#define STICK_LEFT 0x29A515B7u

enum
{
    WAIT_PULSE, /* all zero */
    BIT_CHECK,
    BIT_VALUE,
    FINISHED,
    LOST = RC_DEC_IMON_STATE_LOST
};

/* One axis of a stick move: four bits of the byte, in the order sent, with
 * a sign bit of its own elsewhere in the frame. */
static int stick_axis(uint32_t byte, int negative)
{
    int v = (int)((byte & 0x08u) | (byte & 0x10u) >> 2 | (byte & 0x20u) >> 4 | (byte & 0x40u) >> 6);
    return negative ? v | ~0x0F : v;
}

static int magnitude(int v)
{
    return v < 0 ? -v : v;
}

static uint32_t frame_scancode(rc_dec_imon* dec)
{
    const uint32_t bits = dec->bits;
    int x;
    int y;
    if (bits == STICK_MODE_KEY)
        dec->stick_keyboard = (uint8_t)!dec->stick_keyboard;
    if ((bits & 0xFC0000FFu) != 0x680000B7u || !dec->stick_keyboard)
        return bits;
    /* A diagonal move is the arrow of its larger axis (a tie goes to the
     * horizontal one); a move along one axis alone stays as it came. */
    x = stick_axis((bits >> 16) & 0xFFu, (bits & 0x02000000u) != 0);
    y = stick_axis((bits >> 8) & 0xFFu, (bits & 0x01000000u) != 0);
    if (!x || !y)
        return bits;
    if (magnitude(y) > magnitude(x))
        return y > 0 ? STICK_DOWN : STICK_UP;
    return x > 0 ? STICK_RIGHT : STICK_LEFT;
}

int rc_dec_imon_feed(void* state, rc_ir_event event, rc_ir_key* out)
{
    rc_dec_imon* dec = (rc_dec_imon*)state;
    uint32_t us = event.duration_us;
    const uint8_t pulse = event.pulse ? 1u : 0u;

    if (event.overflow)
    {
        dec->state = WAIT_PULSE;
        return 0;
    }
    if (dec->state == LOST)
    {
        if (!pulse && us > RESYNC_SPACE_US)
            dec->state = WAIT_PULSE;
        return 0;
    }
    while (rc_ir_at_least(us, UNIT_US, HALF_US))
    {
        us = rc_ir_less(us, UNIT_US);
        switch (dec->state)
        {
        case WAIT_PULSE:
            if (pulse)
            {
                dec->state = BIT_CHECK;
                dec->bits = 0;
                dec->count = FIRST_BIT;
            }
            break;
        case BIT_CHECK:
            if (CHECK_BITS & (1u << dec->count))
                dec->last_check = pulse;
            else if (pulse)
                goto lost;
            dec->state = BIT_VALUE;
            break;
        case BIT_VALUE:
            dec->bits = dec->bits << 1 | (pulse ? 0u : 1u);
            if ((CHECK_BITS & (1u << dec->count)) && dec->last_check != ((dec->bits & 3u) == 0))
                goto lost;
            dec->state = dec->count-- == 0 ? FINISHED : BIT_CHECK;
            break;
        default: /* FINISHED */
            if (pulse)
                goto lost;
            /* The rest of this space is idle time before the next frame. */
            dec->state = WAIT_PULSE;
            out->proto = RC_PROTO_IMON;
            out->toggle = 0;
            out->repeat = 0;
            out->scancode = frame_scancode(dec);
            return 1;
        }
    }
    return 0;

lost:
    dec->state = LOST;
    return 0;
}
