/* Samsung's 36-bit remotes (Blu-ray and DVD players): the 4.5 ms header of
 * Samsung's 32-bit frames, then in units of 560 us, low bit first, a 1 a
 * unit's pulse and three of space, a 0 one of each: the device D and the
 * subdevice S (8 bits each), a pulse and a nine-unit space, then an extra
 * nibble E, the function F and its inverse. The kernel has no decoder for
 * it (its NEC decoder takes the same header but breaks at that long space);
 * this one takes the frame when the inverse holds. Every frame of a held
 * key is a key of its own.
 *
 * Scancode: D << 24 | S << 16 | E << 8 | F. */
#ifndef TAVRIXRC_RC_DEC_SAMSUNG36_H
#define TAVRIXRC_RC_DEC_SAMSUNG36_H

#include <stdint.h>

#include "rc_ir.h"

/* The space after the closing pulse that ends a frame (ten units, longer
 * than the nine-unit space inside it): the receiver's time-out must not cut
 * it. */
#define RC_DEC_SAMSUNG36_MIN_TIMEOUT_US 5600u

typedef struct
{
    uint8_t state;
    uint8_t middle; /* the space after the first 16 bits was taken */
    unsigned count; /* bits taken */
    uint64_t bits;  /* as sent: the first bit taken lowest */
} rc_dec_samsung36;

int rc_dec_samsung36_feed(void* state, rc_ir_event event, rc_ir_key* out);

#endif
