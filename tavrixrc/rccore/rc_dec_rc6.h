/* RC-6 mode 0 and mode 6A (20, 24 and 32 bits, and the 32-bit frames of
 * Microsoft's MCE remotes and their kin), decoded as the kernel's
 * ir-rc6-decoder does with all of them enabled. */
#ifndef TAVRIXRC_RC_DEC_RC6_H
#define TAVRIXRC_RC_DEC_RC6_H

#include <stdint.h>

#include "rc_ir.h"

/* The kernel's handler asks for at least the space that ends a mode 6A
 * frame (six units of 444 us) before a time-out. */
#define RC_DEC_RC6_MIN_TIMEOUT_US 2664u

/* All zero: waiting for the leader's long pulse. */
typedef struct
{
    uint8_t state;
    uint8_t header; /* the start bit and the three mode bits */
    uint8_t toggle; /* the header's double-length bit */
    unsigned count;
    unsigned wanted_bits;
    uint32_t body; /* the first 32 bits of the body, the first the highest */
} rc_dec_rc6;

int rc_dec_rc6_feed(void* state, rc_ir_event event, rc_ir_key* out);

#endif
