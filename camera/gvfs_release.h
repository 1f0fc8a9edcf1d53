#pragma once
// The desktop's gvfs claims a camera connected over USB and shows it as a location of its own
// (gphoto2:// or mtp://); while it does, no one else can read the camera. Asking gvfs to
// unmount that location through GIO lets go of it, as the file manager's eject does.

#include <string>
#include <vector>

namespace oakvane::camera {

struct GvfsRelease {
    std::vector<std::string> released;  // the locations unmounted
    std::string failure;                // why one could not be unmounted, "" when none failed
};

// Unmounts gvfs's locations of the USB camera at port (its device node is device_node).
// Nothing to do, and nothing said, when gvfs holds none (or does not run).
GvfsRelease release_from_gvfs(const std::string& port, const std::string& device_node);

}  // namespace oakvane::camera
