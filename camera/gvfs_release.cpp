#include "gvfs_release.h"

#include <gio/gio.h>

namespace oakvane::camera {

namespace {

struct Unmounting {
    GMainLoop* loop = nullptr;
    std::string error;
};

void unmounted(GObject* source, GAsyncResult* result, gpointer data)
{
    Unmounting& unmounting = *static_cast<Unmounting*>(data);
    GError* error = nullptr;
    if (!g_mount_unmount_with_operation_finish(G_MOUNT(source), result, &error)) {
        unmounting.error = error ? error->message : "unmount failed";
        g_clear_error(&error);
    }
    g_main_loop_quit(unmounting.loop);
}

std::string owned_text(char* text)
{
    std::string copy = text ? text : "";
    g_free(text);
    return copy;
}

// gvfs names a gphoto2 camera's location after its port; an MTP device's only by its name,
// but its volume knows the device node.
bool is_camera_mount(GMount* mount, const std::string& port, const std::string& device_node)
{
    GFile* root = g_mount_get_root(mount);
    const std::string uri = owned_text(g_file_get_uri(root));
    g_object_unref(root);
    if (uri.find("[" + port + "]") != std::string::npos)
        return true;
    GVolume* volume = g_mount_get_volume(mount);
    if (!volume)
        return false;
    const std::string device = owned_text(g_volume_get_identifier(volume, G_VOLUME_IDENTIFIER_KIND_UNIX_DEVICE));
    g_object_unref(volume);
    return !device_node.empty() && device == device_node;
}

std::string mount_uri(GMount* mount)
{
    GFile* root = g_mount_get_root(mount);
    std::string uri = owned_text(g_file_get_uri(root));
    g_object_unref(root);
    return uri;
}

// Unmounts one location, waiting in a loop of this thread's own for gvfs's answer.
std::string unmount(GMount* mount, GMainContext* context)
{
    Unmounting unmounting;
    unmounting.loop = g_main_loop_new(context, FALSE);
    g_mount_unmount_with_operation(mount, G_MOUNT_UNMOUNT_NONE, nullptr, nullptr, unmounted, &unmounting);
    g_main_loop_run(unmounting.loop);
    g_main_loop_unref(unmounting.loop);
    return unmounting.error;
}

}  // namespace

GvfsRelease release_from_gvfs(const std::string& port, const std::string& device_node)
{
    GvfsRelease release;
    if (!port.starts_with("usb:"))
        return release;
    // The engine's thread is not the desktop's: its answers come to a context of its own.
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GVolumeMonitor* monitor = g_volume_monitor_get();
    GList* mounts = g_volume_monitor_get_mounts(monitor);
    for (GList* item = mounts; item; item = item->next) {
        GMount* mount = G_MOUNT(item->data);
        if (!is_camera_mount(mount, port, device_node))
            continue;
        const std::string uri = mount_uri(mount);
        if (const std::string error = unmount(mount, context); !error.empty())
            release.failure = uri + ": " + error;
        else
            release.released.push_back(uri);
    }
    g_list_free_full(mounts, g_object_unref);
    g_object_unref(monitor);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    return release;
}

}  // namespace oakvane::camera
