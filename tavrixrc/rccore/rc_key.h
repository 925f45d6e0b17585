/* The key held on the remote, as the kernel would judge it from the records:
 * pressed by a new record, kept by its repeats, released when none has come
 * for the protocol's repeat period plus the receiver's time-out. Time is
 * passed in, so that the state is pure. */
#ifndef TAVRIXRC_RC_KEY_H
#define TAVRIXRC_RC_KEY_H

#include <stdint.h>

#include "rc_record.h"

/* What a receiver that does not tell its time-out is taken to wait. */
#define RC_DEFAULT_TIMEOUT_NS 125000000u

typedef struct
{
    int pressed; /* a key has come and has not been cleared */
    uint16_t proto;
    uint64_t scancode;
    uint64_t last_ns;  /* timestamp of the key's last record */
    uint64_t keyup_ns; /* the key is up this long after its last record */
    int by_keycode;    /* mapped in the kernel's keymap: up when it says so */
    uint32_t keycode;
} rc_key;

/* Milliseconds between a held key's repeats, as the kernel counts them. */
unsigned rc_repeat_period_ms(uint16_t proto);

/* Takes one record; timeout_ns is the receiver's own time-out. A key event
 * (from an input node) with its scancode hands the key's release to the
 * kernel: it is up at the kernel's own release (or, should that be lost, a
 * second past the time its scancodes allow). */
void rc_key_feed(rc_key* key, const rc_record* record, uint64_t timeout_ns);

/* Non-zero while the key is held at now_ns (CLOCK_MONOTONIC). */
int rc_key_is_down(const rc_key* key, uint64_t now_ns);

/* The tool's two answers at now_ns: a code and an extended code. */
int rc_key_code(const rc_key* key, uint64_t now_ns);
uint32_t rc_key_code_ex(const rc_key* key, uint64_t now_ns);

#endif
