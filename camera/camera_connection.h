#pragma once
// An open connection to one camera: libgphoto2's context and camera, initialised for the
// camera's model at its port.

#include "failure.h"
#include "gp_handles.h"

#include <string>

namespace oakvane::camera {

// The model libgphoto2 reads a folder on a "disk:" port with.
inline constexpr char kDirectoryBrowse[] = "Directory Browse";

struct Connection {
    GpContext context;
    GpCamera camera;
    std::string model;
    std::string port;
};

// Opens the camera at port, or the one connected camera when port is "". Fails when no
// camera (or more than one, for "") is connected there, or when it can't be claimed.
Status open_camera(const std::string& port, Connection& connection);

}  // namespace oakvane::camera
