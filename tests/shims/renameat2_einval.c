// Makes renameat2 with flags fail with EINVAL, as it does on NFS, 9p and many FUSE file
// systems, and counts the calls in the file named by RENAMEAT2_SHIM_LOG.
#define _GNU_SOURCE
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

int renameat2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
              unsigned int flags)
{
    (void)olddirfd;
    (void)oldpath;
    (void)newdirfd;
    (void)newpath;
    (void)flags;
    const char* log = getenv("RENAMEAT2_SHIM_LOG");
    FILE* f = log ? fopen(log, "a") : NULL;
    if (f) {
        fputs("EINVAL\n", f);
        fclose(f);
    }
    errno = EINVAL;
    return -1;
}
