/* The NEC family's frames, rebuilt from the scancodes the kernel keeps.
 *
 * The kernel drops the bytes it can infer: NEC keeps address and command
 * (A<<8 | C), NECX the two address bytes and the command (A<<16 | a<<8 | C),
 * NEC32 all four but with the bytes of each half swapped
 * (a<<24 | A<<16 | c<<8 | C). On air the frame is A, then ~A or a, then C,
 * then ~C or c. */
#include "rc_frame.h"

#include "rc_record.h"

static uint32_t frame(uint32_t first, uint32_t second, uint32_t third, uint32_t fourth)
{
    return (first & 0xFFu) << 24 | (second & 0xFFu) << 16 | (third & 0xFFu) << 8 | (fourth & 0xFFu);
}

int rc_frame_code(uint16_t proto, uint64_t scancode)
{
    (void)proto; /* the NEC family's command byte is the low byte too */
    return (int)(scancode & 0xFFu);
}

uint32_t rc_frame_code_ex(uint16_t proto, uint64_t scancode)
{
    const uint32_t sc = (uint32_t)scancode;
    switch (proto)
    {
    case RC_PROTO_NEC:
        return frame(sc >> 8, ~(sc >> 8), sc, ~sc);
    case RC_PROTO_NECX:
        return frame(sc >> 16, sc >> 8, sc, ~sc);
    case RC_PROTO_NEC32:
        return frame(sc >> 16, sc >> 24, sc, sc >> 8);
    default:
        return sc;
    }
}
