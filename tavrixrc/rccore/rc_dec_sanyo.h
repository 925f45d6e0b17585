/* Sanyo remotes, decoded as the kernel's Sanyo decoder (ir-sanyo-decoder)
 * does: NEC's timing with 42 bits, high bit first: a 13-bit address, its
 * inverse, a command and its inverse. The address's inverse is not
 * checked, the command's is. A held key repeats as a header and a single
 * pulse followed by a long space. */
#ifndef TAVRIXRC_RC_DEC_SANYO_H
#define TAVRIXRC_RC_DEC_SANYO_H

#include <stdint.h>

#include "rc_ir.h"

/* The kernel's shortest time-out for Sanyo: the trailer space it waits for. */
#define RC_DEC_SANYO_MIN_TIMEOUT_US 5630u

typedef struct
{
    uint8_t state;
    unsigned count; /* bits taken */
    uint64_t bits;  /* the first bit taken highest */
} rc_dec_sanyo;

int rc_dec_sanyo_feed(void* state, rc_ir_event event, rc_ir_key* out);

#endif
