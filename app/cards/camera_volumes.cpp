#include "camera_volumes.h"

#include "camera_address.h"

#include <cstdio>

namespace oakvane {

namespace {

class CameraVolumes final : public VolumeSource {
public:
    CameraVolumes(std::unique_ptr<VolumeSource> volumes, CameraLister lister)
        : m_volumes(std::move(volumes)), m_lister(std::move(lister))
    {
    }

    VolumeScan list_volumes() override
    {
        VolumeScan scan = m_volumes->list_volumes();
        if (!scan.ok)
            return scan;
        std::string why;
        for (const camera::ConnectedCamera& found : m_lister(why))
            scan.volumes.push_back(camera_volume(found));
        if (!why.empty())
            std::fprintf(stderr, "Cameras can't be looked for: %s\n", why.c_str());
        return scan;
    }

private:
    std::unique_ptr<VolumeSource> m_volumes;
    CameraLister m_lister;
};

}  // namespace

Volume camera_volume(const camera::ConnectedCamera& found)
{
    Volume volume;
    volume.mount_point = camera::camera_folder(found.port);
    volume.device = found.port;
    volume.fs_type = "gphoto2";
    volume.label = found.model;
    volume.has_dcim = true;
    volume.camera = true;
    return volume;
}

std::unique_ptr<VolumeSource> with_cameras(std::unique_ptr<VolumeSource> volumes, CameraLister lister)
{
    return std::make_unique<CameraVolumes>(std::move(volumes), std::move(lister));
}

}  // namespace oakvane
