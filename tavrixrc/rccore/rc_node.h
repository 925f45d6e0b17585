/* One receiver's node, open for reading: a lirc node in scancode mode, or an
 * input event node. A lirc node that delivers raw IR is opened a second time
 * for it (each open of a lirc node has a mode of its own), so that frames no
 * decoder takes show too. Reads never block; a node that goes away (unplug)
 * is closed and its key cleared. */
#ifndef TAVRIXRC_RC_NODE_H
#define TAVRIXRC_RC_NODE_H

#include <stddef.h>
#include <stdint.h>

#include "rc_clock.h"
#include "rc_key.h"
#include "rc_raw.h"
#include "rc_sysfs.h"

typedef struct
{
    int fd; /* -1 once closed */
    rc_node_kind kind;
    uint64_t timeout_ns; /* the receiver's own time-out */
    rc_clock clock;      /* the records' clock against the process's */
    rc_key key;
    int raw_fd; /* the same lirc node in raw mode; -1 when it has none */
    rc_raw raw;
    char protocols_path[RC_PATH_MAX]; /* the decoders the kernel runs for it */
} rc_node;

/* Opens path as a node of the kind given, its device's protocols file at
 * protocols_path. 1 on success; 0 with the reason in why (a sentence for
 * the user) and errno set when the node cannot be read. */
int rc_node_open(rc_node* node, const char* path, rc_node_kind kind, const char* protocols_path, char* why,
                 size_t why_len);

/* Takes in everything the node has queued. 0 when the node has gone away in
 * this call (it is closed then), 1 otherwise. */
int rc_node_drain(rc_node* node);

void rc_node_close(rc_node* node);

/* The tool's answers at now_ns: the kernel's key, else one decoded here,
 * else a raw frame's shape as the extended code with no code. */
int rc_node_code(const rc_node* node, uint64_t now_ns);
uint32_t rc_node_code_ex(const rc_node* node, uint64_t now_ns);

/* Now on the clock of the node's record timestamps. */
uint64_t rc_node_now(const rc_node* node);

#endif
