#pragma once
// The cameras connected now, as libgphoto2's auto-detection finds them on USB and network
// ports. Its "disk:" ports are left out: they are mounted folders, which card detection
// already shows as cards.

#include <string>
#include <vector>

namespace oakvane::camera {

struct ConnectedCamera {
    std::string model;  // as libgphoto2 names it, e.g. "Canon EOS 5D Mark III"
    std::string port;   // e.g. "usb:001,005"

    bool operator==(const ConnectedCamera&) const = default;
};

// Every camera found; an empty list with why set when detection itself failed.
std::vector<ConnectedCamera> detect_cameras(std::string& why);

}  // namespace oakvane::camera
