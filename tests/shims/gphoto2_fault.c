// Makes libgphoto2's camera drivers misbehave as a camera on a bad cable does, at the point
// where a driver hands a file's bytes over (gp_file_append) and where the file is fetched
// (gp_camera_file_get):
//   GPHOTO2_FAULT_AFTER=N  once N bytes have been handed over in this process, every further
//                          chunk is refused and the fetch of the file fails with an I/O error,
//                          as after an unplug or a camera that went to sleep;
//   GPHOTO2_FAULT_SHORT=1  with GPHOTO2_FAULT_AFTER: the chunks are dropped and the fetch
//                          reports success, as drivers that ignore a read error do;
//   GPHOTO2_SLOW_MS=M      every chunk takes M more milliseconds, so a file streams for long.
#define _GNU_SOURCE
#include <gphoto2/gphoto2-camera.h>
#include <gphoto2/gphoto2-file.h>
#include <gphoto2/gphoto2-port-result.h>

#include <dlfcn.h>
#include <stdint.h>
#include <stdlib.h>
#include <time.h>

static unsigned long long g_handed_over;
static int g_faulted;

static long long env_number(const char* name)
{
    const char* value = getenv(name);
    return value && *value ? atoll(value) : -1;
}

int gp_file_append(CameraFile* file, const char* data, unsigned long int size)
{
    static int (*real)(CameraFile*, const char*, unsigned long int);
    if (!real)
        real = (int (*)(CameraFile*, const char*, unsigned long int))dlsym(RTLD_NEXT, "gp_file_append");
    const long long slow = env_number("GPHOTO2_SLOW_MS");
    if (slow > 0) {
        const struct timespec pause = {slow / 1000, (slow % 1000) * 1000000};
        nanosleep(&pause, NULL);
    }
    const long long after = env_number("GPHOTO2_FAULT_AFTER");
    if (after >= 0 && g_handed_over + size > (unsigned long long)after) {
        g_handed_over += size;
        g_faulted = 1;
        return env_number("GPHOTO2_FAULT_SHORT") == 1 ? GP_OK : GP_ERROR_IO_READ;
    }
    g_handed_over += size;
    return real(file, data, size);
}

int gp_camera_file_get(Camera* camera, const char* folder, const char* file, CameraFileType type,
                       CameraFile* camera_file, GPContext* context)
{
    static int (*real)(Camera*, const char*, const char*, CameraFileType, CameraFile*, GPContext*);
    if (!real)
        real = (int (*)(Camera*, const char*, const char*, CameraFileType, CameraFile*, GPContext*))dlsym(
            RTLD_NEXT, "gp_camera_file_get");
    const int result = real(camera, folder, file, type, camera_file, context);
    if (g_faulted && env_number("GPHOTO2_FAULT_SHORT") != 1)
        return GP_ERROR_IO_READ;
    return result;
}
