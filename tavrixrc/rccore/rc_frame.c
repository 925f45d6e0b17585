/* The NEC family's frames, rebuilt from the scancodes the kernel keeps.
 *
 * The kernel drops the bytes it can infer: NEC keeps address and command
 * (A<<8 | C), NECX the two address bytes and the command (A<<16 | a<<8 | C),
 * NEC32 all four but with the bytes of each half swapped
 * (a<<24 | A<<16 | c<<8 | C). On air the frame is A, then ~A or a, then C,
 * then ~C or c.
 *
 * The protocols decoded here that the kernel has no decoder for keep their
 * function in the low byte as well (rc_dec_<name>.h lay them out); their
 * extended codes: Kaseikyo's 16-bit manufacturer code (N << 8 | M,
 * Panasonic's 0x2002) above the subdevice and the function, which tell a
 * maker's remotes and keys apart, the device and extra nibbles left to the
 * scancode for want of room; Samsung36's device, subdevice, extra nibble
 * and function, a byte each (its scancode); RCA's 24 bits as they go on
 * air, first bit highest: device, function and the inverse of both. */
#include "rc_frame.h"

#include "rc_record.h"

static uint32_t frame(uint32_t first, uint32_t second, uint32_t third, uint32_t fourth)
{
    return (first & 0xFFu) << 24 | (second & 0xFFu) << 16 | (third & 0xFFu) << 8 | (fourth & 0xFFu);
}

/* Where each protocol keeps its command in the scancode, as the kernel's
 * decoders lay it out. */
int rc_frame_code(uint16_t proto, uint64_t scancode)
{
    const uint32_t sc = (uint32_t)scancode;
    switch (proto)
    {
    case RC_PROTO_RC5:    /* 6 bits and the second start bit, inverted, as the 7th */
    case RC_PROTO_SONY12: /* the function, 7 bits; the device above it */
    case RC_PROTO_SONY15:
    case RC_PROTO_SONY20:
        return (int)(sc & 0x7Fu);
    case RC_PROTO_RC5X_20: /* system << 16 | command << 8 | extension */
        return (int)(sc >> 8 & 0x7Fu);
    case RC_PROTO_RC5_SZ: /* system << 6 | command */
        return (int)(sc & 0x3Fu);
    case RC_PROTO_XMP: /* address << 24 | subaddress << 16 | button << 8 | second button */
        return (int)(sc >> 8 & 0xFFu);
    case RC_PROTO_CEC: /* the user control code, with its operand below it when it has one */
        return (int)(sc > 0xFFu ? sc >> 8 & 0xFFu : sc);
    case RC_PROTO_MCIR2_KBD: /* keyboard and pointer reports, and iMON's 31-bit */
    case RC_PROTO_MCIR2_MSE: /* codes: no command byte in them */
    case RC_PROTO_IMON:
        return RC_NO_CODE;
    case RC_PROTO_KASEIKYO:  /* ..., extra << 8 | function */
    case RC_PROTO_SAMSUNG36: /* ..., extra << 8 | function */
    case RC_PROTO_RCA:       /* device << 8 | function */
        return (int)(sc & 0xFFu);
    default:
        /* the NEC family, JVC, Sanyo, Sharp, RC-6, RC-MM: the command is
         * the low byte; and any other, as it comes */
        return (int)(sc & 0xFFu);
    }
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
    case RC_PROTO_KASEIKYO:
        return frame((uint32_t)(scancode >> 40), (uint32_t)(scancode >> 32), sc >> 16, sc);
    case RC_PROTO_RCA:
        return (sc >> 8 & 0xFu) << 20 | (sc & 0xFFu) << 12 | (~sc >> 8 & 0xFu) << 8 | (~sc & 0xFFu);
    default:
        return sc;
    }
}
