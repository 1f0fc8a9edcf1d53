#pragma once
// Who holds a USB camera: its device node, and the processes that have that node open.

#include <string>
#include <sys/types.h>
#include <vector>

namespace oakvane::camera {

struct Holder {
    pid_t pid = 0;
    std::string name;  // the process's command name, e.g. "gvfsd-gphoto2"
};

// The device node of a libgphoto2 USB port ("usb:001,005" is /dev/bus/usb/001/005); "" for
// any other port.
std::string usb_device_node(const std::string& port);

// The processes, this one left out, that have path open; those whose descriptors can't be
// read (another user's, without the right to) are not seen.
std::vector<Holder> processes_holding(const std::string& path);

// The message for a camera that can't be claimed: who holds it and what to do.
std::string held_camera_advice(const std::string& port, const std::vector<Holder>& holders);

}  // namespace oakvane::camera
