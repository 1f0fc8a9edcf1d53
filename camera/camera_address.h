#pragma once
// How a camera is named wherever a card folder is: "camera:" for the one camera connected,
// "camera:PORT" for the camera at a libgphoto2 port ("usb:001,005", "ptpip:192.168.1.2",
// or "disk:/FOLDER", a folder read through libgphoto2's "Directory Browse" camera).

#include <optional>
#include <string>
#include <string_view>

namespace oakvane::camera {

inline constexpr std::string_view kCameraPrefix = "camera:";

// Whether a card folder text names a camera.
bool is_camera_folder(std::string_view card_folder);

// The port a camera card folder names; "" for the one connected camera, nullopt when the
// text names no camera.
std::optional<std::string> camera_port(std::string_view card_folder);

// The card folder text of the camera at port ("" for the one connected).
std::string camera_folder(std::string_view port);

// Whether port is one libgphoto2 reads a camera through on its own (USB, network), rather
// than a mounted folder, which card detection already finds as a card.
bool is_camera_port(std::string_view port);

}  // namespace oakvane::camera
