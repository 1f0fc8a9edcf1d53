// Makes every file system report a terabyte free, as some network and FUSE file systems
// report more room than they have: a run then passes the free-space check and meets the
// full disk only while it copies.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <sys/statvfs.h>

int statvfs(const char* path, struct statvfs* buf)
{
    int (*real)(const char*, struct statvfs*) =
        (int (*)(const char*, struct statvfs*))dlsym(RTLD_NEXT, "statvfs");
    const int result = real(path, buf);
    if (result == 0 && buf->f_frsize > 0)
        buf->f_bavail = (1ull << 40) / buf->f_frsize;
    return result;
}
