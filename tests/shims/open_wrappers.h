// The open calls of a shim that wants to know which file each descriptor is: each wrapper
// opens as asked, then hands the descriptor and the path to the shim's own note(), which
// must be declared before this is included.
#pragma once

#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/types.h>

#define OPEN_WRAPPER(name, ...)                                                    \
    int name(__VA_ARGS__, int flags, ...)                                          \
    {                                                                              \
        mode_t mode = 0;                                                           \
        if (flags & (O_CREAT | O_TMPFILE)) {                                       \
            va_list ap;                                                            \
            va_start(ap, flags);                                                   \
            mode = va_arg(ap, mode_t);                                             \
            va_end(ap);                                                            \
        }

OPEN_WRAPPER(open, const char* path)
    static int (*real)(const char*, int, ...);
    if (!real)
        real = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
    const int fd = real(path, flags, mode);
    note(fd, path);
    return fd;
}

OPEN_WRAPPER(open64, const char* path)
    static int (*real)(const char*, int, ...);
    if (!real)
        real = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open64");
    const int fd = real(path, flags, mode);
    note(fd, path);
    return fd;
}

OPEN_WRAPPER(openat, int dirfd, const char* path)
    static int (*real)(int, const char*, int, ...);
    if (!real)
        real = (int (*)(int, const char*, int, ...))dlsym(RTLD_NEXT, "openat");
    const int fd = real(dirfd, path, flags, mode);
    note(fd, path);
    return fd;
}
