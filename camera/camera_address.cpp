#include "camera_address.h"

namespace oakvane::camera {

bool is_camera_folder(std::string_view card_folder) { return card_folder.starts_with(kCameraPrefix); }

std::optional<std::string> camera_port(std::string_view card_folder)
{
    if (!is_camera_folder(card_folder))
        return std::nullopt;
    return std::string(card_folder.substr(kCameraPrefix.size()));
}

std::string camera_folder(std::string_view port) { return std::string(kCameraPrefix) + std::string(port); }

bool is_camera_port(std::string_view port) { return port.starts_with("usb:") || port.starts_with("ptpip:"); }

}  // namespace oakvane::camera
