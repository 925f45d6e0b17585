/* What gives the user a node the kernel refused for permissions, said as the
 * one step that fixes it on this system: the udev rule the package installs
 * applied to the node (the desktop's user), or the node's group joined (a
 * new login). */
#ifndef TAVRIXRC_RC_ACCESS_H
#define TAVRIXRC_RC_ACCESS_H

#include <stddef.h>

#include "rc_sysfs.h"

/* The file name of the package's rule that tags rc-core's lirc nodes
 * "uaccess" for the logged-in desktop user. */
#define RC_UACCESS_RULE "70-remotemonitor-lirc-uaccess.rules"

/* The fix for node_path of the kind given, as a sentence into out.
 * rules_dir: where the rule is looked for; NULL for udev's own rule
 * directories. */
void rc_access_fix(const char* node_path, rc_node_kind kind, const char* rules_dir, char* out, size_t out_len);

#endif
