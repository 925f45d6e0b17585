/* RC-5, RC-5X (20 bits) and StreamZap's RC-5 (15 bits), decoded as the
 * kernel's ir-rc5-decoder does with all three enabled: the same margins,
 * the same scancodes, the toggle bit as the key's toggle. */
#ifndef TAVRIXRC_RC_DEC_RC5_H
#define TAVRIXRC_RC_DEC_RC5_H

#include <stdint.h>

#include "rc_ir.h"

/* The kernel's handler asks the receiver for at least its trailer's space
 * (six units of 889 us) before it reports a time-out. */
#define RC_DEC_RC5_MIN_TIMEOUT_US 5334u

/* All zero: waiting for a frame's first pulse. */
typedef struct
{
    uint8_t state;
    uint8_t is_rc5x;
    unsigned count; /* bits so far, the start bit included */
    uint32_t bits;
} rc_dec_rc5;

int rc_dec_rc5_feed(void* state, rc_ir_event event, rc_ir_key* out);

#endif
