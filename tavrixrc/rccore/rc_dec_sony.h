/* Sony SIRC remotes, decoded as the kernel's Sony decoder (ir-sony-decoder)
 * does: a 2.4 ms header, then bits as pulse lengths (1.2 ms a 1, 0.6 ms a 0)
 * low bit first; 12, 15 or 20 of them make Sony12, Sony15 or Sony20, told
 * apart only by their count when the long space after the last comes. */
#ifndef TAVRIXRC_RC_DEC_SONY_H
#define TAVRIXRC_RC_DEC_SONY_H

#include <stdint.h>

#include "rc_ir.h"

/* The kernel's shortest time-out for Sony: the space that ends a frame. */
#define RC_DEC_SONY_MIN_TIMEOUT_US 6000u

typedef struct
{
    uint8_t state;
    unsigned count; /* bits taken */
    uint32_t bits;  /* the first bit taken highest */
} rc_dec_sony;

int rc_dec_sony_feed(void* state, rc_ir_event event, rc_ir_key* out);

#endif
