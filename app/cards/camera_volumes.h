#pragma once
// Cameras as card detection sees them: each camera connected over USB or the network is a
// volume holding a card, so that one card or camera, several, or none follow one rule.
// Looking for cameras takes libgphoto2 a good part of a second's tenth, too long for every
// look at the mount table: the cameras are looked for when they may have changed, and the
// volume list takes them as last found.

#include "camera_detect.h"
#include "volumes.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace oakvane {

// The cameras connected now; an empty list with why set when they can't be looked for.
using CameraLister = std::function<std::vector<camera::ConnectedCamera>(std::string& why)>;

// The cameras as last looked for, shared by a volume list and the monitor that looks again.
class CameraCache {
public:
    explicit CameraCache(CameraLister lister) : m_lister(std::move(lister)) {}

    // The cameras the last look found; looks first when none was made yet.
    std::vector<camera::ConnectedCamera> cameras();
    // Looks again; true when the cameras differ from the last look. A look that fails keeps
    // the cameras known and says why on standard error: a camera is not taken for gone.
    bool look();

private:
    CameraLister m_lister;
    std::optional<std::vector<camera::ConnectedCamera>> m_last;
};

// The volume that stands for camera.
Volume camera_volume(const camera::ConnectedCamera& camera);

// volumes' list with the cameras of cameras added.
std::unique_ptr<VolumeSource> with_cameras(std::unique_ptr<VolumeSource> volumes,
                                           std::shared_ptr<CameraCache> cameras);

// The running system's volumes, with the cameras of cameras.
std::unique_ptr<VolumeSource> make_system_volume_source(std::shared_ptr<CameraCache> cameras);

}  // namespace oakvane
