/* Raw IR beside the scancodes: the receiver's pulses and spaces
 * (LIRC_MODE_MODE2), put through the kernel's decoders here, and cut into
 * frames for those no decoder takes. Two keys come of it: one for the
 * scancodes decoded here, of the protocols the kernel is not decoding, and
 * one for frames of no known protocol, its code the frame's shape. Time is
 * passed in (on the records' clock), so that the state is pure.
 *
 * Receivers hand out samples in two ways: as the frame goes (each pulse and
 * space as it ends, the time-out report a time-out after the last pulse:
 * edge-driven and USB receivers), or a whole frame at once as it starts
 * (rc-loopback). Samples carry no timestamp: one read at read_ns is taken
 * to have come halfway since the reading before, a poll's worth at most, and
 * a frame to end at the later of the two bounds that gives: its last pulse's
 * coming, and its first pulse's coming plus the rest of its length.
 *
 * Frames are split at the gap between them, never at the receiver's
 * time-out, which the kernel shortens to a few ms when decoders are enabled:
 * a gap far longer than any space inside the frame so far. A silence with no
 * sample yet ends a frame as well; each decoder is told of it once its
 * kernel time-out (with only its decoder enabled) has passed, as the kernel
 * would tell it, so a key decodes as soon as the kernel's would. */
#ifndef TAVRIXRC_RC_RAW_H
#define TAVRIXRC_RC_RAW_H

#include <stdint.h>

#include "rc_decoders.h"
#include "rc_key.h"
#include "rc_shape.h"

/* The kernel's sample layout: the kind in the top byte, microseconds below. */
#define RC_RAW_KIND(sample) ((sample) >> 24)
#define RC_RAW_VALUE(sample) ((sample)&0x00FFFFFFu)
#define RC_RAW_SPACE 0x00u
#define RC_RAW_PULSE 0x01u
#define RC_RAW_FREQUENCY 0x02u
#define RC_RAW_TIMEOUT 0x03u
#define RC_RAW_OVERFLOW 0x04u

/* How long a frame's shape waits for the kernel's scancode of the same
 * frame (a decoder not run here) before it is shown. */
#define RC_RAW_DECODER_WAIT_NS 10000000u
/* Shape frames shown before the user is told of them: one could be noise. */
#define RC_RAW_SHOWN_TO_TELL 2u
/* A shape key is up this long after its last frame's end: the kernel's
 * longest repeat period and its default time-out, longer than the gap of
 * any held remote, and the same whatever time-out the receiver has. */
#define RC_RAW_HOLD_NS 125000000u
/* Frame kinds remembered, by leader, to tell a cut-off frame. */
#define RC_RAW_KINDS 4u

/* One kind of frame, by its leader: the most durations and the longest
 * length seen of a whole frame of that kind. */
typedef struct
{
    uint32_t pulse_us;
    uint32_t space_us;
    unsigned count;
    uint64_t length_us;
} rc_raw_kind;

/* A frame that ended, waiting for the decoders to finish with it. */
typedef struct
{
    int waiting;
    int decoded; /* a decoder, here or the kernel's, took it */
    uint32_t code;
    uint64_t end_ns;
    uint64_t ended_ns; /* when its end was known */
    uint32_t busy;     /* the decoder families still in its middle */
    int followed;      /* some followed it from its first pulse to its end */
    rc_raw_kind kind;
} rc_raw_ended;

typedef struct
{
    /* the frame coming in */
    int in_frame;
    int skipping; /* after an overflow: the rest of a frame, to its gap */
    int decoded;  /* a decoder took it while it came */
    rc_shape shape;
    unsigned pulses;
    uint32_t space_us; /* a space not yet known to be inside the frame */
    uint32_t longest_space_us;
    uint32_t longest_pulse_us;
    uint32_t following;      /* the decoder families in it from its first pulse on */
    uint32_t first_pulse_us; /* its leader */
    uint32_t first_space_us;
    uint64_t first_ns;      /* its first pulse's coming, as near as known */
    uint64_t last_ns;       /* its last pulse's end, by its coming */
    uint64_t rest_us;       /* its length after the first pulse */
    uint64_t polled_ns;     /* the last reading, 0 before the first */
    int after_timeout;      /* the next space is lirc's gap, the rest of a silence ... */
    uint32_t timeout_us;    /* ... reported this long */
    int quiet;              /* a silence under way since the last pulse ... */
    uint64_t quiet_from_ns; /* ... ended then */
    /* the decoders, and those told of the silence under way */
    rc_decoders decoders;
    rc_decoders before_silence; /* as they were before they were told */
    uint32_t told_silence;
    uint32_t told_us;          /* the longest silence they were told */
    uint64_t kernel_protocols; /* the kernel's enabled set, as last read */
    int keyed_family;          /* the family that gave the frame's key, else -1 */
    int offered_family;        /* a key waiting for families before it, else -1 ... */
    rc_ir_key offered;         /* ... that key ... */
    uint64_t offered_ns;       /* ... and its frame's moment */
    int have_last;             /* the last key decoded here, for a repeat */
    uint16_t last_proto;
    uint64_t last_scancode;
    uint8_t last_toggle;
    rc_key key;            /* the key of the scancodes decoded here */
    uint64_t decoded_here; /* the protocols shown so, RC_PROTO_BIT()s */
    /* the frames of no known protocol */
    rc_raw_ended ended;
    rc_raw_kind kinds[RC_RAW_KINDS];
    unsigned next_kind;
    int pressed;
    uint32_t code;
    rc_raw_kind code_kind;
    uint64_t keyup_ns;
    unsigned shown;       /* shape frames shown since the start, counted up to a few */
    rc_shape shown_shape; /* the last one to show while shown is under the count */
} rc_raw;

void rc_raw_start(rc_raw* raw);

/* One sample, read at read_ns. */
void rc_raw_sample(rc_raw* raw, uint32_t sample, uint64_t read_ns);

/* The node was read at read_ns (whatever it had). */
void rc_raw_polled(rc_raw* raw, uint64_t read_ns);

/* The kernel's scancode came: the frame under way or waiting is its, and
 * the shape key gives way to it. */
void rc_raw_decoded(rc_raw* raw);

/* At now_ns: a silence that ends the frame, the decoders told of it, the
 * waiting frame shown once no decoder may still take it. */
void rc_raw_settle(rc_raw* raw, uint64_t now_ns);

/* The shape key's code at now_ns, else 0 (the key decoded here is
 * raw->key). */
uint32_t rc_raw_code_ex(const rc_raw* raw, uint64_t now_ns);

#endif
