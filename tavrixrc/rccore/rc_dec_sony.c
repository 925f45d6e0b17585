/* Sony 12, 15 and 20 bits, with the kernel's margins. */
#include "rc_dec_sony.h"

#include "rc_record.h"

#define SONY_UNIT 600u
#define SONY_HEADER_PULSE (4u * SONY_UNIT)
#define SONY_HEADER_SPACE SONY_UNIT
#define SONY_BIT_0_PULSE SONY_UNIT
#define SONY_BIT_1_PULSE (2u * SONY_UNIT)
#define SONY_BIT_SPACE SONY_UNIT
#define SONY_TRAILER_SPACE (10u * SONY_UNIT)
#define SONY_MARGIN (SONY_UNIT / 2u)

enum
{
    SONY_IDLE = 0,
    SONY_HEADER_SPACE_NEXT,
    SONY_BIT_PULSE_NEXT,
    SONY_BIT_SPACE_NEXT
};

/* Both bounds open, as the kernel compares. */
static int near(uint32_t d, uint32_t want)
{
    return rc_ir_near(d, want, SONY_MARGIN);
}

static int at_least(uint32_t d, uint32_t want)
{
    return rc_ir_at_least(d, want, SONY_MARGIN);
}

/* Seven bits of function, then the device (5 or 8 bits), then Sony20's
 * 8 bits of extension; the kernel's scancode is device, extension,
 * function, one byte each. */
static int frame_end(const rc_dec_sony* s, rc_ir_key* out)
{
    uint32_t device;
    uint32_t subdevice = 0;
    uint32_t function;
    switch (s->count)
    {
    case 12:
        out->proto = RC_PROTO_SONY12;
        device = rc_ir_reversed((s->bits << 3) & 0xF8u);
        function = rc_ir_reversed((s->bits >> 4) & 0xFEu);
        break;
    case 15:
        out->proto = RC_PROTO_SONY15;
        device = rc_ir_reversed(s->bits & 0xFFu);
        function = rc_ir_reversed((s->bits >> 7) & 0xFEu);
        break;
    case 20:
        out->proto = RC_PROTO_SONY20;
        device = rc_ir_reversed((s->bits >> 5) & 0xF8u);
        subdevice = rc_ir_reversed(s->bits & 0xFFu);
        function = rc_ir_reversed((s->bits >> 12) & 0xFEu);
        break;
    default:
        return 0;
    }
    out->toggle = 0;
    out->repeat = 0;
    out->scancode = device << 16 | subdevice << 8 | function;
    return 1;
}

int rc_dec_sony_feed(void* state, rc_ir_event ev, rc_ir_key* out)
{
    rc_dec_sony* s = state;
    uint32_t d = ev.duration_us;
    if (ev.overflow)
    {
        s->state = SONY_IDLE;
        return 0;
    }
    /* Nothing in Sony is under half a unit: such an event is noise and the
     * frame is lost, whatever the state. */
    if (!at_least(d, SONY_UNIT))
    {
        s->state = SONY_IDLE;
        return 0;
    }
    switch (s->state)
    {
    case SONY_IDLE:
        if (!ev.pulse || !near(d, SONY_HEADER_PULSE))
            break;
        s->count = 0;
        s->state = SONY_HEADER_SPACE_NEXT;
        return 0;
    case SONY_HEADER_SPACE_NEXT:
        if (ev.pulse || !near(d, SONY_HEADER_SPACE))
            break;
        s->state = SONY_BIT_PULSE_NEXT;
        return 0;
    case SONY_BIT_PULSE_NEXT:
        if (!ev.pulse)
            break;
        s->bits <<= 1;
        if (near(d, SONY_BIT_1_PULSE))
            s->bits |= 1u;
        else if (!near(d, SONY_BIT_0_PULSE))
            break;
        ++s->count;
        s->state = SONY_BIT_SPACE_NEXT;
        return 0;
    case SONY_BIT_SPACE_NEXT:
        if (ev.pulse)
            break;
        /* The last bit's space runs on into the gap after the frame, so it
         * is measured less a bit's space: under half a unit left is a bit's
         * space, a trailer's worth left ends the frame, between breaks it. */
        d = d > SONY_BIT_SPACE ? d - SONY_BIT_SPACE : 0;
        if (!at_least(d, SONY_UNIT))
        {
            s->state = SONY_BIT_PULSE_NEXT;
            return 0;
        }
        if (!at_least(d, SONY_TRAILER_SPACE))
            break;
        s->state = SONY_IDLE;
        return frame_end(s, out);
    default:
        break;
    }
    s->state = SONY_IDLE;
    return 0;
}
