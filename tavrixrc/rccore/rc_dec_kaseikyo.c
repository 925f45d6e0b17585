/* Kaseikyo, 48 bits, with margins in the kernel's way: half a unit for the
 * one-unit durations; a unit for the longer spaces and a unit and a half
 * for the header pulse, since a remote off by 10% and a receiver that
 * stretches pulses and shortens spaces by 100 us or more take those
 * further than half a unit from their length. */
#include "rc_dec_kaseikyo.h"

#include "rc_record.h"

#define KASEIKYO_UNIT 432u
#define KASEIKYO_HEADER_PULSE (8u * KASEIKYO_UNIT)
#define KASEIKYO_HEADER_SPACE (4u * KASEIKYO_UNIT)
#define KASEIKYO_BIT_PULSE KASEIKYO_UNIT
#define KASEIKYO_BIT_0_SPACE KASEIKYO_UNIT
#define KASEIKYO_BIT_1_SPACE (3u * KASEIKYO_UNIT)
#define KASEIKYO_TRAILER_PULSE KASEIKYO_UNIT
#define KASEIKYO_TRAILER_SPACE RC_DEC_KASEIKYO_MIN_TIMEOUT_US
#define KASEIKYO_BITS 48u
#define KASEIKYO_SHORT_MARGIN (KASEIKYO_UNIT / 2u)
#define KASEIKYO_LONG_MARGIN KASEIKYO_UNIT
#define KASEIKYO_HEADER_MARGIN (3u * KASEIKYO_UNIT / 2u)

enum
{
    KASEIKYO_IDLE = 0,
    KASEIKYO_HEADER_SPACE_NEXT,
    KASEIKYO_BIT_PULSE_NEXT,
    KASEIKYO_BIT_SPACE_NEXT,
    KASEIKYO_TRAILER_PULSE_NEXT,
    KASEIKYO_TRAILER_SPACE_NEXT
};

static uint32_t nibbles_xor(uint32_t value, unsigned nibbles)
{
    uint32_t x = 0;
    for (unsigned i = 0; i < nibbles; ++i)
        x ^= (value >> (4u * i)) & 0xFu;
    return x;
}

/* 0 for a frame failing either parity: no key. */
static int frame_end(const rc_dec_kaseikyo* s, rc_ir_key* out)
{
    const uint32_t m = rc_ir_field(s->bits, 0, 8);
    const uint32_t n = rc_ir_field(s->bits, 8, 8);
    const uint32_t x = rc_ir_field(s->bits, 16, 4);
    const uint32_t d = rc_ir_field(s->bits, 20, 4);
    const uint32_t sub = rc_ir_field(s->bits, 24, 8);
    const uint32_t f = rc_ir_field(s->bits, 32, 8);
    const uint32_t e = rc_ir_field(s->bits, 40, 4);
    const uint32_t c = rc_ir_field(s->bits, 44, 4);
    if (x != nibbles_xor(n << 8 | m, 4) || c != (d ^ nibbles_xor(sub, 2) ^ nibbles_xor(f, 2) ^ e))
        return 0;
    out->proto = RC_PROTO_KASEIKYO;
    out->toggle = 0;
    out->repeat = 0;
    out->scancode = (uint64_t)(n << 8 | m) << 32 | (uint64_t)d << 24 | sub << 16 | e << 8 | f;
    return 1;
}

int rc_dec_kaseikyo_feed(void* state, rc_ir_event ev, rc_ir_key* out)
{
    rc_dec_kaseikyo* s = state;
    const uint32_t d = ev.duration_us;
    if (ev.overflow)
    {
        s->state = KASEIKYO_IDLE;
        return 0;
    }
    switch (s->state)
    {
    case KASEIKYO_IDLE:
        if (!ev.pulse || !rc_ir_near(d, KASEIKYO_HEADER_PULSE, KASEIKYO_HEADER_MARGIN))
            break;
        s->count = 0;
        s->bits = 0;
        s->state = KASEIKYO_HEADER_SPACE_NEXT;
        return 0;
    case KASEIKYO_HEADER_SPACE_NEXT:
        if (ev.pulse || !rc_ir_near(d, KASEIKYO_HEADER_SPACE, KASEIKYO_LONG_MARGIN))
            break;
        s->state = KASEIKYO_BIT_PULSE_NEXT;
        return 0;
    case KASEIKYO_BIT_PULSE_NEXT:
        if (!ev.pulse || !rc_ir_near(d, KASEIKYO_BIT_PULSE, KASEIKYO_SHORT_MARGIN))
            break;
        s->state = KASEIKYO_BIT_SPACE_NEXT;
        return 0;
    case KASEIKYO_BIT_SPACE_NEXT:
        if (ev.pulse)
            break;
        if (rc_ir_near(d, KASEIKYO_BIT_1_SPACE, KASEIKYO_LONG_MARGIN))
            s->bits |= (uint64_t)1u << s->count;
        else if (!rc_ir_near(d, KASEIKYO_BIT_0_SPACE, KASEIKYO_SHORT_MARGIN))
            break;
        ++s->count;
        s->state = s->count == KASEIKYO_BITS ? KASEIKYO_TRAILER_PULSE_NEXT : KASEIKYO_BIT_PULSE_NEXT;
        return 0;
    case KASEIKYO_TRAILER_PULSE_NEXT:
        if (!ev.pulse || !rc_ir_near(d, KASEIKYO_TRAILER_PULSE, KASEIKYO_SHORT_MARGIN))
            break;
        s->state = KASEIKYO_TRAILER_SPACE_NEXT;
        return 0;
    case KASEIKYO_TRAILER_SPACE_NEXT:
        /* Anything shorter is a 49th bit: a longer frame of another kind. */
        if (ev.pulse || d <= KASEIKYO_TRAILER_SPACE - KASEIKYO_SHORT_MARGIN)
            break;
        s->state = KASEIKYO_IDLE;
        return frame_end(s, out);
    default:
        break;
    }
    /* The event that broke the frame is not looked at again as a header. */
    s->state = KASEIKYO_IDLE;
    return 0;
}
