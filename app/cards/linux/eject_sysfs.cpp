#include "eject_sysfs.h"

#include <fstream>
#include <sys/sysmacros.h>

namespace oakvane {

namespace fs = std::filesystem;

namespace {

std::string first_line(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The kernel's name of the device, which is also its node's name below /dev.
std::string device_name(const fs::path& dir)
{
    std::ifstream in(dir / "uevent");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("DEVNAME=", 0) == 0)
            return line.substr(8);
    }
    return dir.filename().string();
}

dev_t device_number(const fs::path& dir)
{
    unsigned major = 0, minor = 0;
    char colon = 0;
    std::ifstream in(dir / "dev");
    if (!(in >> major >> colon >> minor) || colon != ':')
        return 0;
    return makedev(major, minor);
}

// Card readers and camera connections sit below a USB device or an MMC card somewhere up the
// device path; each device folder names its bus through its "subsystem" link.
bool below_usb_or_mmc(const fs::path& dir, const fs::path& devices_root)
{
    for (fs::path p = dir; p != devices_root && p.has_relative_path(); p = p.parent_path()) {
        std::error_code ec;
        fs::path bus = fs::read_symlink(p / "subsystem", ec);
        if (!ec && (bus.filename() == "usb" || bus.filename() == "mmc"))
            return true;
    }
    return false;
}

}  // namespace

std::optional<BlockDevice> read_block_device(dev_t device, const fs::path& sys_root)
{
    const fs::path link = sys_root / "dev/block" /
                          (std::to_string(major(device)) + ":" + std::to_string(minor(device)));
    std::error_code ec;
    const fs::path dir = fs::canonical(link, ec);
    if (ec)
        return std::nullopt;
    const fs::path disk_dir = fs::exists(dir / "partition") ? dir.parent_path() : dir;
    BlockDevice result;
    result.node = "/dev/" + device_name(dir);
    result.disk_node = "/dev/" + device_name(disk_dir);
    result.disk = device_number(disk_dir);
    result.removable = first_line(disk_dir / "removable") == "1";
    result.usb_or_mmc = below_usb_or_mmc(disk_dir, fs::canonical(sys_root, ec) / "devices");
    result.loop = fs::is_directory(disk_dir / "loop");
    return result;
}

bool may_eject(const BlockDevice& device)
{
    return device.removable || device.usb_or_mmc || device.loop;
}

}  // namespace oakvane
