/* Raw IR beside the scancodes: the receiver's pulses and spaces
 * (LIRC_MODE_MODE2) cut into frames, and a key of its own for a frame no
 * enabled decoder turned into a scancode, its code the frame's shape. Time
 * is passed in (on the records' clock), so that the state is pure.
 *
 * A frame is pulses up to a space longer than the receiver's time-out, or
 * up to the kernel's time-out report. Its durations carry no timestamp, and
 * a receiver may hand a whole frame out at once (rc-loopback does, as it
 * starts sending), so the frame's end is taken as the later of the two
 * bounds it gives: its end sample's reading less that sample's length, and
 * its first pulse's coming plus the rest of its length. That pulse came
 * between the reading before and its own: halfway, a poll's worth at most
 * (a frame is then up within half a poll of its time either way). */
#ifndef TAVRIXRC_RC_RAW_H
#define TAVRIXRC_RC_RAW_H

#include <stdint.h>

#include "rc_shape.h"

/* The kernel's sample layout: the kind in the top byte, microseconds below. */
#define RC_RAW_KIND(sample) ((sample) >> 24)
#define RC_RAW_VALUE(sample) ((sample)&0x00FFFFFFu)
#define RC_RAW_SPACE 0x00u
#define RC_RAW_PULSE 0x01u
#define RC_RAW_FREQUENCY 0x02u
#define RC_RAW_TIMEOUT 0x03u
#define RC_RAW_OVERFLOW 0x04u

/* How long a frame's code waits for a decoder's scancode of the same frame
 * before it is shown. */
#define RC_RAW_DECODER_WAIT_NS 10000000u
/* Frames shown before the user is told of them: one could be noise. */
#define RC_RAW_SHOWN_TO_TELL 2u

typedef struct
{
    /* the frame coming in */
    int in_frame;
    int decoded; /* a scancode came while it did */
    rc_shape shape;
    unsigned pulses;
    uint32_t space_us;  /* a space not yet known to be inside the frame */
    uint64_t first_ns;  /* its first pulse's coming, as near as known */
    uint64_t polled_ns; /* the last reading, 0 before the first */
    uint64_t rest_us;   /* its length after the first pulse */
    /* a frame ended, waiting for the decoders */
    int waiting;
    uint32_t waiting_code;
    uint64_t waiting_since_ns;
    uint64_t waiting_end_ns;
    /* the key */
    int pressed;
    uint32_t code;
    uint64_t keyup_ns;
    uint64_t timeout_ns; /* the receiver's, as at the last sample */
    unsigned shown;      /* frames shown since the start, counted up to a few */
} rc_raw;

void rc_raw_start(rc_raw* raw);

/* One sample, read at read_ns; timeout_ns is the receiver's time-out. */
void rc_raw_sample(rc_raw* raw, uint32_t sample, uint64_t read_ns, uint64_t timeout_ns);

/* The node was read at read_ns (whatever it had). */
void rc_raw_polled(rc_raw* raw, uint64_t read_ns);

/* A decoder's scancode came: the frame coming in and the one waiting are
 * its, and the raw key gives way to it. */
void rc_raw_decoded(rc_raw* raw);

/* Shows the waiting frame once its wait is over. */
void rc_raw_settle(rc_raw* raw, uint64_t now_ns);

/* The frame's code while its key is held at now_ns, else 0. */
uint32_t rc_raw_code_ex(const rc_raw* raw, uint64_t now_ns);

#endif
