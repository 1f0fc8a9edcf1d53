// A destination that damages data on its way to the disk: flips one bit in the first
// block written to the FLIP_BIT_NTH-th file (default 1) whose path starts with
// FLIP_BIT_UNDER, counted by the writes that start a file (at offset 0). The program sees
// every write succeed, as it would with a bad cable, controller or memory on the way.
// copy_file_range into such a file fails with EXDEV, so the data passes through write.
// With FLIP_BIT_SHORT=1 that write loses its last byte instead, while reporting it written.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

static atomic_int g_files_started;

static int under_prefix(int fd)
{
    const char* prefix = getenv("FLIP_BIT_UNDER");
    if (!prefix || !*prefix)
        return 0;
    char link[64];
    char path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return 0;
    path[n] = '\0';
    return strncmp(path, prefix, strlen(prefix)) == 0;
}

// Whether this write, the first of a file under the prefix, is the one to damage.
static int chosen(int fd, off_t offset, size_t count)
{
    if (count == 0 || offset != 0 || !under_prefix(fd))
        return 0;
    const char* nth = getenv("FLIP_BIT_NTH");
    const int wanted = nth && *nth ? atoi(nth) : 1;
    return atomic_fetch_add(&g_files_started, 1) + 1 == wanted;
}

// A copy of buf with one bit of its middle byte flipped; the caller frees it.
static void* flipped(const void* buf, size_t count)
{
    unsigned char* copy = malloc(count);
    if (!copy)
        return NULL;
    memcpy(copy, buf, count);
    copy[count / 2] ^= 0x10;
    return copy;
}

static int short_write(void)
{
    const char* on = getenv("FLIP_BIT_SHORT");
    return on && *on == '1';
}

ssize_t write(int fd, const void* buf, size_t count)
{
    static ssize_t (*real)(int, const void*, size_t);
    if (!real)
        real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    const int saved = errno;
    const off_t at = lseek(fd, 0, SEEK_CUR);
    errno = saved;
    if (at != 0 || !chosen(fd, at, count))
        return real(fd, buf, count);
    if (short_write()) {
        const ssize_t n = real(fd, buf, count - 1);
        return n == (ssize_t)count - 1 ? (ssize_t)count : n;
    }
    void* bad = flipped(buf, count);
    if (!bad) {
        errno = ENOMEM;
        return -1;
    }
    const ssize_t n = real(fd, bad, count);
    free(bad);
    return n;
}

ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset)
{
    static ssize_t (*real)(int, const void*, size_t, off_t);
    if (!real)
        real = (ssize_t(*)(int, const void*, size_t, off_t))dlsym(RTLD_NEXT, "pwrite");
    if (!chosen(fd, offset, count))
        return real(fd, buf, count, offset);
    if (short_write()) {
        const ssize_t n = real(fd, buf, count - 1, offset);
        return n == (ssize_t)count - 1 ? (ssize_t)count : n;
    }
    void* bad = flipped(buf, count);
    if (!bad) {
        errno = ENOMEM;
        return -1;
    }
    const ssize_t n = real(fd, bad, count, offset);
    free(bad);
    return n;
}

ssize_t pwrite64(int fd, const void* buf, size_t count, off_t offset)
{
    return pwrite(fd, buf, count, offset);
}

ssize_t copy_file_range(int fd_in, off_t* off_in, int fd_out, off_t* off_out, size_t len,
                        unsigned int flags)
{
    static ssize_t (*real)(int, off_t*, int, off_t*, size_t, unsigned int);
    if (!real)
        real = (ssize_t(*)(int, off_t*, int, off_t*, size_t, unsigned int))dlsym(RTLD_NEXT,
                                                                             "copy_file_range");
    if (under_prefix(fd_out)) {
        errno = EXDEV;
        return -1;
    }
    return real(fd_in, off_in, fd_out, off_out, len, flags);
}
