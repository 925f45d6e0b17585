/* RCA remotes: a header of 3.7 ms pulse and space, then 24 bits high bit
 * first in units of 460 us, a 1 a unit's pulse and four of space, a 0 a
 * unit's pulse and two: the device D (4 bits), the function F (8), and the
 * inverse of both; a frame of a held key follows the last 7.4 ms after its
 * closing pulse. The kernel has no decoder for it; this one takes the frame
 * when both inverses hold. Every frame of a held key is a key of its own.
 *
 * Scancode: D << 8 | F. */
#ifndef TAVRIXRC_RC_DEC_RCA_H
#define TAVRIXRC_RC_DEC_RCA_H

#include <stdint.h>

#include "rc_ir.h"

/* The space after the closing pulse that ends a frame: ten units, longer
 * than any inside one (eight) and well within the 16 before a held key's
 * next frame, which the receiver's time-out must not cut. */
#define RC_DEC_RCA_MIN_TIMEOUT_US 4600u

typedef struct
{
    uint8_t state;
    unsigned count; /* bits taken */
    uint32_t bits;  /* the first bit taken highest, as sent */
} rc_dec_rca;

int rc_dec_rca_feed(void* state, rc_ir_event event, rc_ir_key* out);

#endif
