/* Enumeration of the rc devices and of their nodes in sysfs. */
#if !defined(_POSIX_C_SOURCE)
#define _POSIX_C_SOURCE 200809L
#endif

#include "rc_sysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/* More digits than any kernel gives a device: an index that fits an int. */
#define RC_INDEX_DIGITS_MAX 9

int rc_parse_index(const char* name, const char* prefix)
{
    const size_t prefix_len = strlen(prefix);
    const char* p;
    int value = 0;
    if (strncmp(name, prefix, prefix_len) != 0)
        return -1;
    p = name + prefix_len;
    /* "rc007" is no name the kernel gives, and would stand for rc7's path */
    if (*p == '\0' || strlen(p) > RC_INDEX_DIGITS_MAX || (p[0] == '0' && p[1] != '\0'))
        return -1;
    for (; *p != '\0'; ++p)
    {
        if (*p < '0' || *p > '9')
            return -1;
        value = value * 10 + (*p - '0');
    }
    return value;
}

static int devname_is_safe(const char* value, size_t len)
{
    size_t at = 0;
    if (len == 0 || value[0] == '/')
        return 0;
    while (at < len)
    {
        size_t end = at;
        while (end < len && value[end] != '/')
            ++end;
        if (end - at == 2 && value[at] == '.' && value[at + 1] == '.')
            return 0;
        at = end + 1;
    }
    return memchr(value, '\0', len) == NULL;
}

const char* rc_find_line(const char* text, size_t len, const char* key, size_t* value_len)
{
    const size_t key_len = strlen(key);
    size_t at = 0;
    while (at < len)
    {
        const char* line = text + at;
        const char* newline = (const char*)memchr(line, '\n', len - at);
        const size_t line_len = newline != NULL ? (size_t)(newline - line) : len - at;
        if (line_len >= key_len && memcmp(line, key, key_len) == 0)
        {
            *value_len = line_len - key_len;
            return line + key_len;
        }
        at += line_len + 1;
    }
    return NULL;
}

int rc_parse_devname(const char* text, size_t len, char* out, size_t out_len)
{
    size_t value_len;
    const char* value = rc_find_line(text, len, "DEVNAME=", &value_len);
    if (value == NULL || !devname_is_safe(value, value_len) || value_len + 1 > out_len)
        return 0;
    memcpy(out, value, value_len);
    out[value_len] = '\0';
    return 1;
}

static int is_space(char c)
{
    return c == ' ' || c == '\n' || c == '\t';
}

int rc_next_decoder(const char* text, size_t len, size_t* at, const char** word, size_t* word_len, int* enabled)
{
    while (*at < len)
    {
        size_t end;
        while (*at < len && is_space(text[*at]))
            ++*at;
        for (end = *at; end < len && !is_space(text[end]); ++end)
            ;
        *word = text + *at;
        *word_len = end - *at;
        *at = end;
        if (*word_len == 0)
            continue;
        *enabled = *word_len > 2 && (*word)[0] == '[' && (*word)[*word_len - 1] == ']';
        if (*enabled)
        {
            ++*word;
            *word_len -= 2;
        }
        if (!(*word_len == 4 && memcmp(*word, "lirc", 4) == 0))
            return 1;
    }
    return 0;
}

int rc_parse_decoders(const char* text, size_t len)
{
    int listed = 0;
    size_t at = 0;
    const char* word;
    size_t word_len;
    int enabled;
    while (rc_next_decoder(text, len, &at, &word, &word_len, &enabled))
    {
        if (enabled)
            return 1;
        listed = 1;
    }
    return listed ? 0 : -1;
}

long rc_read_text(const char* path, char* buf, size_t buf_len)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    size_t total = 0;
    if (fd < 0 || buf_len == 0)
    {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    while (total + 1 < buf_len)
    {
        const ssize_t n = read(fd, buf + total, buf_len - 1 - total);
        if (n <= 0)
            break;
        total += (size_t)n;
    }
    close(fd);
    buf[total] = '\0';
    return (long)total;
}

static int compare_ints(const void* a, const void* b)
{
    const int x = *(const int*)a;
    const int y = *(const int*)b;
    return (x > y) - (x < y);
}

int* rc_list_devices(const char* sysfs_root, size_t* count)
{
    DIR* dir = opendir(sysfs_root);
    int* list = NULL;
    size_t capacity = 0;
    struct dirent* entry;
    *count = 0;
    if (dir == NULL)
        return NULL;
    while ((entry = readdir(dir)) != NULL)
    {
        const int index = rc_parse_index(entry->d_name, "rc");
        if (index < 0)
            continue;
        if (*count == capacity)
        {
            const size_t grown = capacity == 0 ? 8 : capacity * 2;
            int* bigger = (int*)realloc(list, grown * sizeof *list);
            if (bigger == NULL)
                break;
            list = bigger;
            capacity = grown;
        }
        list[(*count)++] = index;
    }
    closedir(dir);
    if (*count > 0)
        qsort(list, *count, sizeof *list, compare_ints);
    return list;
}

/* The lowest-numbered child of dir named prefix<N>, into child; -1 if none. */
static int lowest_child(const char* dir_path, const char* prefix, char* child, size_t child_len)
{
    DIR* dir = opendir(dir_path);
    struct dirent* entry;
    int best = -1;
    if (dir == NULL)
        return -1;
    while ((entry = readdir(dir)) != NULL)
    {
        const int index = rc_parse_index(entry->d_name, prefix);
        if (index >= 0 && (best < 0 || index < best))
            best = index;
    }
    closedir(dir);
    if (best >= 0 && snprintf(child, child_len, "%s/%s%d", dir_path, prefix, best) >= (int)child_len)
        return -1;
    return best;
}

/* dev_root/DEVNAME from the uevent file of a device's sysfs directory. */
static int node_from_uevent(const char* device_dir, const char* dev_root, char* node_path, size_t path_len)
{
    char path[RC_PATH_MAX];
    char text[1024];
    char devname[256];
    long len;
    if (snprintf(path, sizeof path, "%s/uevent", device_dir) >= (int)sizeof path)
        return 0;
    len = rc_read_text(path, text, sizeof text);
    if (len < 0 || !rc_parse_devname(text, (size_t)len, devname, sizeof devname))
        return 0;
    return snprintf(node_path, path_len, "%s/%s", dev_root, devname) < (int)path_len;
}

int rc_find_node(const char* sysfs_root, const char* dev_root, int rc_index, rc_node_kind kind, char* node_path,
                 size_t path_len)
{
    char rc_dir[RC_PATH_MAX];
    char child[RC_PATH_MAX];
    char event[RC_PATH_MAX];
    if (snprintf(rc_dir, sizeof rc_dir, "%s/rc%d", sysfs_root, rc_index) >= (int)sizeof rc_dir)
        return 0;
    if (kind == RC_NODE_LIRC)
        return lowest_child(rc_dir, "lirc", child, sizeof child) >= 0 &&
               node_from_uevent(child, dev_root, node_path, path_len);
    return kind == RC_NODE_EVENT && lowest_child(rc_dir, "input", child, sizeof child) >= 0 &&
           lowest_child(child, "event", event, sizeof event) >= 0 &&
           node_from_uevent(event, dev_root, node_path, path_len);
}
