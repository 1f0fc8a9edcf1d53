#pragma once
// Cameras as card detection sees them: each camera connected over USB or the network is a
// volume holding a card, so that one card or camera, several, or none follow one rule.

#include "camera_detect.h"
#include "volumes.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace oakvane {

// The cameras connected now; an empty list with why set when they can't be looked for.
using CameraLister = std::function<std::vector<camera::ConnectedCamera>(std::string& why)>;

// The volume that stands for camera.
Volume camera_volume(const camera::ConnectedCamera& camera);

// volumes' list with the cameras lister finds added. Cameras that can't be looked for leave
// the volumes as they are and say why on standard error.
std::unique_ptr<VolumeSource> with_cameras(std::unique_ptr<VolumeSource> volumes, CameraLister lister);

}  // namespace oakvane
