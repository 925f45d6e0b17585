/* Finding the receivers: the rc devices under the sysfs root and the node
 * each one is read through, found as ir-keytable finds it. The parsers are
 * pure (text in, values out); the rest reads the tree. */
#ifndef TAVRIXRC_RC_SYSFS_H
#define TAVRIXRC_RC_SYSFS_H

#include <stddef.h>

#define RC_PATH_MAX 4096

/* N for a name that is exactly prefix followed by decimal digits with no
 * leading zero ("rc10"), else -1. */
int rc_parse_index(const char* name, const char* prefix);

/* The rest of the first line of text that starts with key, its length in
 * *value_len; NULL when no line does. */
const char* rc_find_line(const char* text, size_t len, const char* key, size_t* value_len);

/* The value of the DEVNAME line of a uevent file, copied into out with its
 * terminating NUL; 0 when there is none, or when it would leave the device
 * root (empty, absolute, a ".." part) or does not fit. */
int rc_parse_devname(const char* text, size_t len, char* out, size_t out_len);

/* From a protocols file ("rc-5 [nec] rc-6 [lirc]"): 1 when a decoder is
 * enabled ("[name]", lirc aside), 0 when none is but some are listed, -1
 * when none is listed at all (nothing the user could enable). */
int rc_parse_decoders(const char* text, size_t len);

/* The next decoder named in a protocols file from *at on, its name in
 * *word and *word_len, *enabled when it is ("[name]"); "lirc", the raw
 * interface the kernel always lists, is passed over. 0 when there is none. */
int rc_next_decoder(const char* text, size_t len, size_t* at, const char** word, size_t* word_len, int* enabled);

/* The indexes N of the rcN entries of the sysfs root, in numeric order, in a
 * block the caller frees; the count in *count. NULL with 0 when there are
 * none or the root cannot be read. */
int* rc_list_devices(const char* sysfs_root, size_t* count);

typedef enum
{
    RC_NODE_NONE = 0,
    RC_NODE_LIRC,
    RC_NODE_EVENT
} rc_node_kind;

/* Device rcN's node of the kind given (its lirc node, or its input event
 * node), its path into node_path; 0 when it has none. */
int rc_find_node(const char* sysfs_root, const char* dev_root, int rc_index, rc_node_kind kind, char* node_path,
                 size_t path_len);

/* Reads a small sysfs file into buf, NUL-terminated; its length, or -1. */
long rc_read_text(const char* path, char* buf, size_t buf_len);

#endif
