#pragma once
// An open connection to one camera: libgphoto2's context and camera, initialised for the
// camera's model at its port.

#include "failure.h"
#include "gp_handles.h"

#include <functional>
#include <string>
#include <string_view>

namespace oakvane::camera {

// The model libgphoto2 reads a folder on a "disk:" port with.
inline constexpr char kDirectoryBrowse[] = "Directory Browse";
// The model libgphoto2 reads any camera at a "ptpip:" address with.
inline constexpr char kPtpIpCamera[] = "PTP/IP Camera";

struct Connection {
    GpContext context;
    GpCamera camera;
    std::string model;
    std::string port;
};

// Lines for the output list about what was done to reach the camera.
using Say = std::function<void(std::string_view)>;

// Opens the camera at port, or the one connected camera when port is "". A USB camera that
// the desktop's gvfs holds is first asked back from it, which say tells. Fails when no
// camera (or more than one, for "") is connected there, or when it can't be claimed: then
// the message names who holds it.
Status open_camera(const std::string& port, const Say& say, Connection& connection);

}  // namespace oakvane::camera
