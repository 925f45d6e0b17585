/* JVC remotes, decoded as the kernel's JVC decoder (ir-jvc-decoder) does:
 * 16 bits, high bit first, after an 8.4 ms header; a held key sends the
 * same bits again with no header, which is a repeat only if they match the
 * key's. The toggle flips at every header, so a new press shows it changed. */
#ifndef TAVRIXRC_RC_DEC_JVC_H
#define TAVRIXRC_RC_DEC_JVC_H

#include <stdint.h>

#include "rc_ir.h"

/* The kernel's shortest time-out for JVC: the trailer space it waits for. */
#define RC_DEC_JVC_MIN_TIMEOUT_US 18375u

/* Its state after a key, waiting for a repeat or a new key: in no frame. */
#define RC_DEC_JVC_STATE_AFTER_KEY 6u

typedef struct
{
    uint8_t state;
    uint8_t first;  /* no key yet since the header: the next frame is one */
    uint8_t toggle; /* flipped at every header, the first one makes it 1 */
    unsigned count; /* bits taken */
    uint16_t bits;
    uint16_t key_bits; /* the bits of the last key, which a repeat must match */
} rc_dec_jvc;

int rc_dec_jvc_feed(void* state, rc_ir_event event, rc_ir_key* out);

#endif
