/* Kaseikyo remotes (Panasonic's 48 bits and the makers that share it): a
 * 3.5 ms header, then 48 bits low bit first in units of 432 us, a 1 a
 * unit's pulse and three of space, a 0 one of each: 16 bits of
 * manufacturer (M, N), a parity nibble X, the device D (4 bits), the
 * subdevice S, the function F, an extra nibble E and a parity nibble C.
 * The kernel has no decoder for it: this one takes the frame when both
 * parities hold (X the XOR of the four nibbles of M and N, C that of D, the
 * nibbles of S and F, and E), so that noise or a frame of another kind of
 * the same length is no key. Every frame of a held key is a key of its own,
 * as the kernel's decoders of protocols without a repeat code give them.
 *
 * Scancode: the manufacturer code (the 16 bits of M and N as one number
 * sent low bit first, N << 8 | M: Panasonic's 0x2002) << 32 | D << 24 |
 * S << 16 | E << 8 | F; the parities, which follow from the rest, are left
 * out. */
#ifndef TAVRIXRC_RC_DEC_KASEIKYO_H
#define TAVRIXRC_RC_DEC_KASEIKYO_H

#include <stdint.h>

#include "rc_ir.h"

/* The space after the closing pulse that ends a frame (ten units; no space
 * inside one is over four): the receiver's time-out must not cut it. */
#define RC_DEC_KASEIKYO_MIN_TIMEOUT_US 4320u

typedef struct
{
    uint8_t state;
    unsigned count; /* bits taken */
    uint64_t bits;  /* as sent: the first bit taken lowest */
} rc_dec_kaseikyo;

int rc_dec_kaseikyo_feed(void* state, rc_ir_event event, rc_ir_key* out);

#endif
