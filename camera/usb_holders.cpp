#include "usb_holders.h"

#include <filesystem>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace oakvane::camera {

namespace {

namespace fs = std::filesystem;

bool holds(const fs::path& process, const fs::path& target)
{
    std::error_code error;
    for (fs::directory_iterator fd(process / "fd", error), end; !error && fd != end; fd.increment(error)) {
        std::error_code unreadable;
        if (fs::read_symlink(fd->path(), unreadable) == target)
            return true;
    }
    return false;
}

std::string command_name(const fs::path& process)
{
    std::ifstream comm(process / "comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? "an unknown program" : name;
}

}  // namespace

std::string usb_device_node(const std::string& port)
{
    // "usb:BBB,DDD": bus and device number, as the kernel names the node.
    if (!port.starts_with("usb:") || port.size() != 11 || port[7] != ',')
        return {};
    return "/dev/bus/usb/" + port.substr(4, 3) + "/" + port.substr(8, 3);
}

std::vector<Holder> processes_holding(const std::string& path)
{
    std::vector<Holder> found;
    const pid_t self = ::getpid();
    std::error_code error;
    for (fs::directory_iterator entry("/proc", error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        if (pid != self && holds(entry->path(), path))
            found.push_back({pid, command_name(entry->path())});
    }
    return found;
}

std::string held_camera_advice(const std::string& port, const std::vector<Holder>& holders)
{
    if (holders.empty())
        return "Another program may hold the camera at " + port +
               ": close photo programs and file managers showing it, or unplug the camera and "
               "connect it again.";
    std::string names;
    for (const Holder& holder : holders)
        names += (names.empty() ? "" : ", ") + holder.name + " (process " + std::to_string(holder.pid) + ")";
    std::string advice = "The camera at " + port + " is held by " + names + ".";
    for (const Holder& holder : holders)
        if (holder.name.starts_with("gvfs")) {
            advice += " The desktop's gvfs shows it as a location: unmount it in the file manager, "
                      "or with: gio mount -u \"gphoto2://[" + port + "]/\" (mtp:// for a phone).";
            return advice;
        }
    return advice + " Close that program, or unplug the camera and connect it again.";
}

}  // namespace oakvane::camera
