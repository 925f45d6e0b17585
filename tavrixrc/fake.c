/* A scriptable stand-in for the card maker's TavrixRC.dll, for tests.
 *
 * Built in several variants from this one source; each variant leaves out
 * the entries named by its compile definitions:
 *   TAVRIXRC_FAKE_OMIT_GetCardCount, TAVRIXRC_FAKE_OMIT_OpenCard,
 *   TAVRIXRC_FAKE_OMIT_GetRemoteCode, TAVRIXRC_FAKE_OMIT_GetRemoteCodeEx,
 *   TAVRIXRC_FAKE_OMIT_UnInit.
 *
 * The script comes from environment variables, read at the first call after
 * the library is loaded and again at the first call after UnInit:
 *   TAVRIXRC_FAKE_CARDS     GetCardCount's answer, decimal (default 1).
 *   TAVRIXRC_FAKE_OPEN      comma-separated card indexes for which OpenCard
 *                           answers 1; it answers 0 for all others. Unset:
 *                           every index from 0 to the card count - 1 opens.
 *                           Empty or "none": none opens.
 *   TAVRIXRC_FAKE_CODES     comma-separated decimal answers of GetRemoteCode,
 *                           one per call in order; the last one repeats
 *                           (default 255).
 *   TAVRIXRC_FAKE_CODES_EX  comma-separated hexadecimal answers of
 *                           GetRemoteCodeEx, likewise (default 0).
 *   TAVRIXRC_FAKE_STUCK     "sleep": GetRemoteCode never returns, sleeping;
 *                           "busy": it never returns, spinning;
 *                           "uninit": UnInit never returns, sleeping;
 *                           "masked": GetRemoteCode never returns, and
 *                           nothing can end it: on POSIX it blocks every
 *                           signal and spins; on Windows it sleeps, and the
 *                           executable's TerminateThread fails;
 *                           "fault": GetRemoteCode raises SIGSEGV after
 *                           300 ms, once the dialog is up (POSIX).
 *                           The library's unloading, should it still come
 *                           after a call that stuck, is logged as "detach".
 *   TAVRIXRC_FAKE_NO_THREADS  set: from the first call on, the executable's
 *                           CreateThread fails as on a system that can make
 *                           no more threads (ERROR_NOT_ENOUGH_MEMORY;
 *                           Windows; on Linux `ulimit -u` does it).
 *   TAVRIXRC_FAKE_LOAD_MS   milliseconds the library takes to load (POSIX).
 *   TAVRIXRC_FAKE_STDERR    a line GetRemoteCode writes to standard error,
 *                           once, at its 10th call: the dialog is up by then.
 *   TAVRIXRC_FAKE_LOG       file to which one line per call is appended:
 *                             GetCardCount -> 3
 *                             OpenCard(2) -> 1
 *                             GetRemoteCode -> 21
 *                             GetRemoteCode -> stuck   (before it sticks)
 *                             GetRemoteCodeEx -> 866B15EA
 *                             UnInit
 *                             UnInit -> stuck          (before it sticks)
 *                             detach                   (unloaded after that)
 *
 * Calls are expected one at a time (the tool makes them from one thread at
 * a time). */
#include "tavrixrc_common.h"

#ifndef _WIN32
#include <errno.h>
#include <pthread.h>
#include <signal.h>
#endif

typedef struct
{
    long* values;
    size_t count;
    size_t next;
} answer_list;

enum stuck_mode
{
    STUCK_NONE,
    STUCK_SLEEP,
    STUCK_BUSY,
    STUCK_UNINIT,
    STUCK_MASKED,
    STUCK_FAULT
};

static int g_configured;
static int g_card_count;
static int g_open_all; /* TAVRIXRC_FAKE_OPEN unset */
static answer_list g_open;
static answer_list g_codes;
static answer_list g_codes_ex;
static enum stuck_mode g_stuck;
static char* g_log_path;
static char* g_stderr_line;
static unsigned g_remote_calls;

static void list_free(answer_list* list)
{
    free(list->values);
    list->values = NULL;
    list->count = 0;
    list->next = 0;
}

/* Fills the list from "a,b,c"; an unset or empty text leaves it empty.
 * Hexadecimal values are read as unsigned 32-bit and kept bit for bit. */
static void list_parse(answer_list* list, const char* text, int hex)
{
    const char* p = text;
    size_t capacity = 0;
    list_free(list);
    if (text == NULL)
        return;
    while (*p != '\0')
    {
        char* end;
        long value;
        while (*p == ' ' || *p == ',')
            ++p;
        if (*p == '\0')
            break;
        if (hex)
            value = (long)(int)(unsigned int)strtoul(p, &end, 16);
        else
            value = strtol(p, &end, 10);
        if (end == p)
            break; /* not a number: the rest of the script is ignored */
        p = end;
        if (list->count == capacity)
        {
            size_t grown = capacity == 0 ? 16 : capacity * 2;
            long* values = (long*)realloc(list->values, grown * sizeof(long));
            if (values == NULL)
                break;
            list->values = values;
            capacity = grown;
        }
        list->values[list->count++] = value;
    }
}

TAVRIXRC_MAYBE_UNUSED static long list_take(answer_list* list, long fallback)
{
    long value;
    if (list->count == 0)
        return fallback;
    value = list->values[list->next];
    if (list->next + 1 < list->count)
        ++list->next;
    return value;
}

TAVRIXRC_MAYBE_UNUSED static int list_contains(const answer_list* list, long value)
{
    size_t i;
    for (i = 0; i < list->count; ++i)
        if (list->values[i] == value)
            return 1;
    return 0;
}

static void unconfigure(void)
{
    list_free(&g_open);
    list_free(&g_codes);
    list_free(&g_codes_ex);
    free(g_log_path);
    g_log_path = NULL;
    free(g_stderr_line);
    g_stderr_line = NULL;
    g_remote_calls = 0;
    g_configured = 0;
}

#ifdef _WIN32
/* The system's faults the fake stands in for happen in calls the executable
 * makes itself, after the library is loaded: each is one entry of its import
 * table pointed at the fake's own stand-in. */
static void redirect_import(const char* name, ULONG_PTR stand_in)
{
    BYTE* base = (BYTE*)GetModuleHandleA(NULL);
    const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY* imports = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    /* The loader bound each entry to the address the system's own lookup
     * gives, forwarders followed. */
    const FARPROC system = GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
    const IMAGE_IMPORT_DESCRIPTOR* module;
    if (imports->VirtualAddress == 0 || system == NULL)
        return;
    for (module = (const IMAGE_IMPORT_DESCRIPTOR*)(base + imports->VirtualAddress); module->Name != 0; ++module)
    {
        IMAGE_THUNK_DATA* entry;
        for (entry = (IMAGE_THUNK_DATA*)(base + module->FirstThunk); entry->u1.Function != 0; ++entry)
        {
            DWORD protection;
            if ((FARPROC)entry->u1.Function != system)
                continue;
            if (!VirtualProtect(&entry->u1.Function, sizeof entry->u1.Function, PAGE_READWRITE, &protection))
                continue;
            entry->u1.Function = stand_in;
            VirtualProtect(&entry->u1.Function, sizeof entry->u1.Function, protection, &protection);
        }
    }
}

static HANDLE WINAPI create_no_thread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                                      LPVOID parameter, DWORD flags, LPDWORD id)
{
    (void)attributes;
    (void)stack;
    (void)start;
    (void)parameter;
    (void)flags;
    (void)id;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
}

static BOOL WINAPI refuse_termination(HANDLE thread, DWORD code)
{
    (void)thread;
    (void)code;
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
#endif

static void configure(void)
{
    const char* text;
    if (g_configured)
        return;
    text = getenv("TAVRIXRC_FAKE_CARDS");
    g_card_count = text != NULL ? (int)strtol(text, NULL, 10) : 1;
    text = getenv("TAVRIXRC_FAKE_OPEN");
    g_open_all = text == NULL;
    list_parse(&g_open, text, 0);
    list_parse(&g_codes, getenv("TAVRIXRC_FAKE_CODES"), 0);
    list_parse(&g_codes_ex, getenv("TAVRIXRC_FAKE_CODES_EX"), 1);
    text = getenv("TAVRIXRC_FAKE_STUCK");
    g_stuck = STUCK_NONE;
    if (text != NULL && strcmp(text, "sleep") == 0)
        g_stuck = STUCK_SLEEP;
    else if (text != NULL && strcmp(text, "busy") == 0)
        g_stuck = STUCK_BUSY;
    else if (text != NULL && strcmp(text, "uninit") == 0)
        g_stuck = STUCK_UNINIT;
    else if (text != NULL && strcmp(text, "masked") == 0)
        g_stuck = STUCK_MASKED;
    else if (text != NULL && strcmp(text, "fault") == 0)
        g_stuck = STUCK_FAULT;
    g_log_path = tavrixrc_getenv_copy("TAVRIXRC_FAKE_LOG");
    g_stderr_line = tavrixrc_getenv_copy("TAVRIXRC_FAKE_STDERR");
#ifdef _WIN32
    if (getenv("TAVRIXRC_FAKE_NO_THREADS") != NULL)
        redirect_import("CreateThread", (ULONG_PTR)create_no_thread);
    if (g_stuck == STUCK_MASKED)
        redirect_import("TerminateThread", (ULONG_PTR)refuse_termination);
#endif
    g_configured = 1;
}

/* Never returns: the caller has to be terminated from outside. */
TAVRIXRC_MAYBE_UNUSED static void stick(enum stuck_mode mode)
{
#ifndef _WIN32
    if (mode == STUCK_MASKED)
    {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, NULL);
        mode = STUCK_BUSY;
    }
    if (mode == STUCK_FAULT)
    {
        struct timespec ts;
        ts.tv_sec = 0;
        ts.tv_nsec = 300000000L;
        while (nanosleep(&ts, &ts) != 0 && errno == EINTR)
        {
        }
        raise(SIGSEGV);
    }
#endif
    if (mode == STUCK_BUSY)
    {
        volatile unsigned long spins = 0;
        for (;;)
            ++spins;
    }
    for (;;)
    {
#ifdef _WIN32
        Sleep(1000);
#else
        struct timespec ts;
        ts.tv_sec = 1;
        ts.tv_nsec = 0;
        while (nanosleep(&ts, &ts) != 0 && errno == EINTR)
        {
        }
#endif
    }
}

#ifndef TAVRIXRC_FAKE_OMIT_GetCardCount
TAVRIXRC_API int TAVRIXRC_CALL GetCardCount(void)
{
    configure();
    tavrixrc_log(g_log_path, "GetCardCount -> %d", g_card_count);
    return g_card_count;
}
#endif

#ifndef TAVRIXRC_FAKE_OMIT_OpenCard
TAVRIXRC_API int TAVRIXRC_CALL OpenCard(int index)
{
    int opened;
    configure();
    opened = g_open_all ? (index >= 0 && index < g_card_count) : list_contains(&g_open, index);
    tavrixrc_log(g_log_path, "OpenCard(%d) -> %d", index, opened);
    return opened;
}
#endif

#ifndef TAVRIXRC_FAKE_OMIT_GetRemoteCode
TAVRIXRC_API int TAVRIXRC_CALL GetRemoteCode(void)
{
    int code;
    configure();
    if (g_stuck == STUCK_SLEEP || g_stuck == STUCK_BUSY || g_stuck == STUCK_MASKED || g_stuck == STUCK_FAULT)
    {
        tavrixrc_log(g_log_path, "GetRemoteCode -> stuck");
        stick(g_stuck);
    }
    code = (int)list_take(&g_codes, 255);
    if (++g_remote_calls == 10 && g_stderr_line != NULL)
        fprintf(stderr, "%s\n", g_stderr_line);
    tavrixrc_log(g_log_path, "GetRemoteCode -> %d", code);
    return code;
}
#endif

#ifndef TAVRIXRC_FAKE_OMIT_GetRemoteCodeEx
TAVRIXRC_API unsigned int TAVRIXRC_CALL GetRemoteCodeEx(void)
{
    unsigned int code;
    configure();
    code = (unsigned int)list_take(&g_codes_ex, 0);
    tavrixrc_log(g_log_path, "GetRemoteCodeEx -> %08X", code);
    return code;
}
#endif

#ifndef TAVRIXRC_FAKE_OMIT_UnInit
TAVRIXRC_API int TAVRIXRC_CALL UnInit(void)
{
    configure();
    if (g_stuck == STUCK_UNINIT)
    {
        tavrixrc_log(g_log_path, "UnInit -> stuck");
        stick(STUCK_SLEEP);
    }
    tavrixrc_log(g_log_path, "UnInit");
    /* The next session of calls reads a fresh script, also when the library
     * stays loaded in between. */
    unconfigure();
    return 0;
}
#endif

/* A process that gives up on a call that hangs must not run more of the
 * library: its unloading then shows in the log. After a stop that ended the
 * call, the UnInit that followed has closed the log. */
static void log_detach_after_a_stuck_call(void)
{
    if (g_stuck != STUCK_NONE)
        tavrixrc_log(g_log_path, "detach");
}

/* Whatever the last session left behind goes with the library. */
#ifdef _WIN32
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    if (reason == DLL_PROCESS_DETACH)
        log_detach_after_a_stuck_call();
    if (reason == DLL_PROCESS_DETACH && reserved == NULL)
        unconfigure();
    return TRUE;
}
#else
__attribute__((constructor)) static void fake_load(void)
{
    const char* text = getenv("TAVRIXRC_FAKE_LOAD_MS");
    long ms = text != NULL ? strtol(text, NULL, 10) : 0;
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = (ms % 1000) * 1000000L;
    while (ms > 0 && nanosleep(&ts, &ts) != 0 && errno == EINTR)
    {
    }
}

__attribute__((destructor)) static void fake_unload(void)
{
    log_detach_after_a_stuck_call();
    unconfigure();
}
#endif
