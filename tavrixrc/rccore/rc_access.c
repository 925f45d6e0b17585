/* The fix for a node refused for permissions. */
#if !defined(_GNU_SOURCE)
#define _GNU_SOURCE /* getgrouplist */
#endif

#include "rc_access.h"

#include <grp.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

/* 1 when dir has the rule, -1 when it masks it (a link to /dev/null, as
 * udev reads it), 0 when it has neither. */
static int rule_in(const char* dir)
{
    char path[RC_PATH_MAX];
    struct stat st;
    if (snprintf(path, sizeof path, "%s/%s", dir, RC_UACCESS_RULE) >= (int)sizeof path || stat(path, &st) != 0)
        return 0;
    return S_ISREG(st.st_mode) && st.st_size > 0 ? 1 : -1;
}

/* As udev looks: /etc before the package's directories. */
static int rule_installed(const char* rules_dir)
{
    static const char* const udev_dirs[] = {"/etc/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
    size_t i;
    if (rules_dir != NULL)
        return rule_in(rules_dir) > 0;
    for (i = 0; i < sizeof udev_dirs / sizeof udev_dirs[0]; ++i)
    {
        const int found = rule_in(udev_dirs[i]);
        if (found != 0)
            return found > 0;
    }
    return 0;
}

static int process_has_group(gid_t gid)
{
    gid_t groups[256];
    const int n = getgroups((int)(sizeof groups / sizeof groups[0]), groups);
    int i;
    if (getegid() == gid)
        return 1;
    for (i = 0; i < n; ++i)
        if (groups[i] == gid)
            return 1;
    return 0;
}

static int user_in_group(const char* user, gid_t primary, gid_t gid)
{
    gid_t groups[256];
    int n = (int)(sizeof groups / sizeof groups[0]);
    int i;
    if (getgrouplist(user, primary, groups, &n) < 0)
        return 0;
    for (i = 0; i < n; ++i)
        if (groups[i] == gid)
            return 1;
    return 0;
}

void rc_access_fix(const char* node_path, rc_node_kind kind, const char* rules_dir, char* out, size_t out_len)
{
    const struct passwd* pw = getpwuid(getuid());
    const char* seat = getenv("XDG_SEAT");
    const struct group* gr;
    char group[64];
    struct stat st;
    /* The rule gives the node to the user at a seat's active session only,
     * not to one who came over SSH. */
    if (kind == RC_NODE_LIRC && seat != NULL && seat[0] != '\0' && rule_installed(rules_dir))
    {
        snprintf(out, out_len,
                 "the installed udev rule gives it to the desktop's user once applied: replug the receiver, or run "
                 "sudo udevadm trigger --subsystem-match=lirc --action=change");
        return;
    }
    if (stat(node_path, &st) != 0 || process_has_group(st.st_gid))
    {
        snprintf(out, out_len, "ls -l %s shows who may read it", node_path);
        return;
    }
    gr = getgrgid(st.st_gid);
    if (gr != NULL)
        snprintf(group, sizeof group, "%s", gr->gr_name);
    else
        snprintf(group, sizeof group, "%u", (unsigned)st.st_gid);
    if (pw != NULL && user_in_group(pw->pw_name, pw->pw_gid, st.st_gid))
        snprintf(out, out_len, "you are in group %s, but this login is older than that: log out and in again", group);
    else
        snprintf(out, out_len,
                 "join its group: sudo usermod -aG %s %s, then log out and in again (a new login is "
                 "needed)",
                 group, pw != NULL ? pw->pw_name : "$USER");
}
