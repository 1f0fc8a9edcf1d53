// Makes every file system report a terabyte free, as some network and FUSE file systems
// report more room than they have: a run then passes the free-space check and meets the
// full disk only while it copies. Each answer changed is logged as one line to the file
// named by STATVFS_ROOMY_LOG.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/statvfs.h>

int statvfs(const char* path, struct statvfs* buf)
{
    int (*real)(const char*, struct statvfs*) =
        (int (*)(const char*, struct statvfs*))dlsym(RTLD_NEXT, "statvfs");
    const int result = real(path, buf);
    if (result == 0 && buf->f_frsize > 0) {
        buf->f_bavail = (1ull << 40) / buf->f_frsize;
        const char* log = getenv("STATVFS_ROOMY_LOG");
        FILE* f = log && *log ? fopen(log, "a") : NULL;
        if (f) {
            fprintf(f, "%s\n", path);
            fclose(f);
        }
    }
    return result;
}
