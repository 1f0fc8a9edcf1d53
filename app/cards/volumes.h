#pragma once
// The mounted volumes as card detection sees them, behind an interface so that the card
// decision and the detector can be tested over made-up lists.

#include <memory>
#include <string>
#include <vector>

namespace oakvane {

struct Volume {
    std::string mount_point;  // as the system reports it, without a trailing "/" (except "/")
    std::string device;       // the mount source, e.g. "/dev/sdb1"
    std::string fs_type;
    // Empty when the volume has none or it cannot be read; only cards (volumes holding DCIM)
    // are labelled.
    std::string label;
    bool has_dcim = false;    // the mount point holds a folder named exactly "DCIM"
    int mount_id = 0;         // tells a remount at the same place from the mount before it
    // A camera connected over USB or the network, read through libgphoto2: mount_point is its
    // card folder text ("camera:usb:001,005"), device its port, label its model.
    bool camera = false;
};

struct VolumeScan {
    bool ok = false;  // false: the volume list could not be read
    std::vector<Volume> volumes;
    std::string error;  // why, when !ok
};

class VolumeSource {
public:
    virtual ~VolumeSource() = default;
    // Every mounted volume that can hold files of the user's: pseudo and network file
    // systems are left out.
    virtual VolumeScan list_volumes() = 0;
};

// The running system's volumes, and the cameras connected to it as volumes of their own.
std::unique_ptr<VolumeSource> make_system_volume_source();

}  // namespace oakvane
