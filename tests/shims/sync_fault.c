// Makes the calls that put written data on stable storage fail with EIO, as a failing disk
// or a device whose cache flush fails does. SYNC_FAULT lists the calls, separated by commas:
//   syncfs            every syncfs
//   fsync             fsync and fdatasync of files
//   dirfsync          fsync and fdatasync of folders
//   sync_file_range   the waiting kind (SYNC_FILE_RANGE_WAIT_AFTER), which reports errors
// With SYNC_FAULT_MATCH set, fsync and dirfsync fail only for what was opened under a path
// holding that text. Each failure made is logged as one line (the call's name) to the file
// named by SYNC_FAULT_LOG, so that a test can tell its fault happened.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#define MAX_FDS 4096
static char g_matching[MAX_FDS];

static int wanted(const char* call)
{
    const char* list = getenv("SYNC_FAULT");
    if (!list)
        return 0;
    const size_t n = strlen(call);
    for (const char* p = list; (p = strstr(p, call)) != NULL; p += n)
        if ((p == list || p[-1] == ',') && (p[n] == '\0' || p[n] == ','))
            return 1;
    return 0;
}

static int fail(const char* call)
{
    const char* log = getenv("SYNC_FAULT_LOG");
    FILE* f = log ? fopen(log, "a") : NULL;
    if (f) {
        fprintf(f, "%s\n", call);
        fclose(f);
    }
    errno = EIO;
    return -1;
}

static void note(int fd, const char* path)
{
    const char* match = getenv("SYNC_FAULT_MATCH");
    if (fd >= 0 && fd < MAX_FDS)
        g_matching[fd] = match && *match && strstr(path, match) != NULL;
}

static int matching(int fd)
{
    const char* match = getenv("SYNC_FAULT_MATCH");
    return !match || !*match || (fd >= 0 && fd < MAX_FDS && g_matching[fd]);
}

#include "open_wrappers.h"

// Streams opened by name (the preference store writes its files so) are opened inside the
// C library, past the wrappers above.
#define FOPEN_WRAPPER(name)                                                        \
    FILE* name(const char* path, const char* how)                                  \
    {                                                                              \
        static FILE* (*real)(const char*, const char*);                            \
        if (!real)                                                                 \
            real = (FILE * (*)(const char*, const char*)) dlsym(RTLD_NEXT, #name); \
        FILE* stream = real(path, how);                                            \
        if (stream)                                                                \
            note(fileno(stream), path);                                            \
        return stream;                                                             \
    }

FOPEN_WRAPPER(fopen)
FOPEN_WRAPPER(fopen64)

static int fsync_fault(int fd)
{
    struct stat st;
    const int folder = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    const char* call = folder ? "dirfsync" : "fsync";
    return wanted(call) && matching(fd) ? fail(call) : 0;
}

int fsync(int fd)
{
    if (fsync_fault(fd) != 0)
        return -1;
    return (int)syscall(SYS_fsync, fd);
}

int fdatasync(int fd)
{
    if (fsync_fault(fd) != 0)
        return -1;
    return (int)syscall(SYS_fdatasync, fd);
}

int syncfs(int fd)
{
    if (wanted("syncfs"))
        return fail("syncfs");
    return (int)syscall(SYS_syncfs, fd);
}

int sync_file_range(int fd, off_t offset, off_t nbytes, unsigned int flags)
{
    if ((flags & SYNC_FILE_RANGE_WAIT_AFTER) && wanted("sync_file_range"))
        return fail("sync_file_range");
    return (int)syscall(SYS_sync_file_range, fd, offset, nbytes, flags);
}
