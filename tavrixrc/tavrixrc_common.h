/* What our TavrixRC.dll builds share: how the five entries are exported, a
 * monotonic clock, and the call log.
 *
 * The entries are exported under their plain names with the caller-cleans
 * (cdecl) convention, as the card maker's 32-bit library has them, so the
 * same sources build a Windows DLL and a POSIX shared object. */
#ifndef TAVRIXRC_COMMON_H
#define TAVRIXRC_COMMON_H

/* clock_gettime and nanosleep, also under a strict C standard */
#if !defined(_WIN32) && !defined(_POSIX_C_SOURCE)
#define _POSIX_C_SOURCE 200809L
#endif

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#define TAVRIXRC_API __declspec(dllexport)
#define TAVRIXRC_CALL __cdecl
#else
#include <time.h>
#define TAVRIXRC_API __attribute__((visibility("default")))
#define TAVRIXRC_CALL
#endif

/* For helpers that some builds of a source leave unused. */
#if defined(__GNUC__)
#define TAVRIXRC_MAYBE_UNUSED __attribute__((unused))
#else
#define TAVRIXRC_MAYBE_UNUSED
#endif

/* Milliseconds on a clock that never jumps with the wall time. */
static inline long long tavrixrc_now_ms(void)
{
#ifdef _WIN32
    LARGE_INTEGER freq, now;
    if (QueryPerformanceFrequency(&freq) && QueryPerformanceCounter(&now) && freq.QuadPart > 0)
        return (long long)(now.QuadPart / (freq.QuadPart / 1000 > 0 ? freq.QuadPart / 1000 : 1));
    return (long long)GetTickCount();
#else
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
#endif
}

/* A private copy of an environment variable, or NULL when it is unset. */
static inline char* tavrixrc_getenv_copy(const char* name)
{
    const char* value = getenv(name);
    char* copy;
    size_t len;
    if (value == NULL)
        return NULL;
    len = strlen(value);
    copy = (char*)malloc(len + 1);
    if (copy != NULL)
        memcpy(copy, value, len + 1);
    return copy;
}

/* One line per call. The file is opened and closed for every line, so that a
 * reader sees each line at once and nothing is left open when the library
 * is unloaded, even in the middle of a run. */
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
static inline void
tavrixrc_log(const char* path, const char* format, ...)
{
    FILE* file;
    va_list args;
    if (path == NULL || path[0] == '\0')
        return;
    file = fopen(path, "a");
    if (file == NULL)
        return;
    va_start(args, format);
    vfprintf(file, format, args);
    va_end(args);
    fputc('\n', file);
    fclose(file);
}

#endif
