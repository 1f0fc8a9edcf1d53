// Makes reading fail with EIO, as a damaged card does, for files whose path holds the text
// in READ_EIO_MATCH: open records their descriptors, read and copy_file_range on those fail.
// Each failure made is logged as one line to the file named by READ_EIO_LOG.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#define MAX_FDS 4096
static char g_failing[MAX_FDS];

static void note(int fd, const char* path)
{
    const char* match = getenv("READ_EIO_MATCH");
    if (fd >= 0 && fd < MAX_FDS)
        g_failing[fd] = match && *match && strstr(path, match) != NULL;
}

static int failing(int fd)
{
    if (fd < 0 || fd >= MAX_FDS || !g_failing[fd])
        return 0;
    const char* log = getenv("READ_EIO_LOG");
    const int out = log && *log ? open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    if (out >= 0) {
        static const char line[] = "EIO\n";
        (void)!write(out, line, sizeof line - 1);
        close(out);
    }
    return 1;
}

#include "open_wrappers.h"

// Card files are opened below the card folder with openat2, which has no C library wrapper:
// the call is seen here too, so that the file the test names fails however it was opened.
long syscall(long number, ...)
{
    static long (*real)(long, ...);
    if (!real)
        real = (long (*)(long, ...))dlsym(RTLD_NEXT, "syscall");
    va_list ap;
    va_start(ap, number);
    long args[6];
    for (int i = 0; i < 6; ++i)
        args[i] = va_arg(ap, long);
    va_end(ap);
    const long result = real(number, args[0], args[1], args[2], args[3], args[4], args[5]);
#ifdef SYS_openat2
    if (number == SYS_openat2 && result >= 0)
        note((int)result, (const char*)args[1]);
#endif
    return result;
}

ssize_t read(int fd, void* buf, size_t count)
{
    static ssize_t (*real)(int, void*, size_t);
    if (!real)
        real = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
    if (failing(fd)) {
        errno = EIO;
        return -1;
    }
    return real(fd, buf, count);
}

ssize_t copy_file_range(int in, off_t* in_off, int out, off_t* out_off, size_t len, unsigned flags)
{
    static ssize_t (*real)(int, off_t*, int, off_t*, size_t, unsigned);
    if (!real)
        real = (ssize_t(*)(int, off_t*, int, off_t*, size_t, unsigned))dlsym(RTLD_NEXT, "copy_file_range");
    if (failing(in)) {
        errno = EIO;
        return -1;
    }
    return real(in, in_off, out, out_off, len, flags);
}
