/* Raw IR as the kernel's decoders take it, and what a decoder makes of it.
 * Each protocol family's decoder is a small state machine of its own
 * (rc_dec_<family>.c), fed one duration at a time exactly as the kernel
 * feeds its decoder of that family, with every variant of the family
 * enabled. Pure: no clock, no allocation, no I/O. */
#ifndef TAVRIXRC_RC_IR_H
#define TAVRIXRC_RC_IR_H

#include <stdint.h>

/* One duration, as the kernel's struct ir_raw_event carries it to a
 * decoder: a pulse or a space; the receiver's time-out report is a space
 * with timeout set; overflow (samples lost) has no duration, and every
 * decoder starts over on it. */
typedef struct
{
    uint32_t duration_us;
    uint8_t pulse;
    uint8_t timeout;
    uint8_t overflow;
} rc_ir_event;

/* A decoder's verdict, as the kernel's rc_keydown(proto, scancode, toggle)
 * or, with repeat set, its rc_repeat (the last key again: proto and
 * scancode are then not set). */
typedef struct
{
    uint16_t proto; /* RC_PROTO_* (rc_record.h) */
    uint8_t toggle;
    uint8_t repeat;
    uint64_t scancode;
} rc_ir_key;

/* Each family's feed: 1 when the event completes a key (out set), else 0. */
typedef int (*rc_ir_feed_fn)(void* state, rc_ir_event event, rc_ir_key* out);

/* The kernel decoders' comparisons (its rc-core-priv.h): a duration
 * strictly over the target less the margin, and for a match also strictly
 * under the target plus it, in unsigned arithmetic as the kernel's; what is
 * left of a duration once part of it is taken; a byte's bits reversed (the
 * kernel's bitrev8), for protocols sent low bit first. */
static inline int rc_ir_at_least(uint32_t us, uint32_t target, uint32_t margin)
{
    return us > target - margin;
}

static inline int rc_ir_near(uint32_t us, uint32_t target, uint32_t margin)
{
    return us > target - margin && us < target + margin;
}

static inline uint32_t rc_ir_less(uint32_t us, uint32_t taken)
{
    return taken > us ? 0u : us - taken;
}

/* Bits at..at+width-1 of a frame's bits (width under 32). */
static inline uint32_t rc_ir_field(uint64_t bits, unsigned at, unsigned width)
{
    return (uint32_t)(bits >> at) & ((1u << width) - 1u);
}

static inline uint8_t rc_ir_reversed(uint32_t byte)
{
    uint32_t r = 0;
    unsigned i;
    for (i = 0; i < 8; ++i)
        r = r << 1 | ((byte >> i) & 1u);
    return (uint8_t)r;
}

/* The kernel's rc_proto as a bit of a protocol set (its RC_PROTO_BIT_*). */
#define RC_PROTO_BIT(proto) ((uint64_t)1u << (proto))

#endif
