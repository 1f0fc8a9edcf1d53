#include "camera_volumes.h"

#include "camera_address.h"

#include <cstdio>

namespace oakvane {

namespace {

class CameraVolumes final : public VolumeSource {
public:
    CameraVolumes(std::unique_ptr<VolumeSource> volumes, std::shared_ptr<CameraCache> cameras)
        : m_volumes(std::move(volumes)), m_cameras(std::move(cameras))
    {
    }

    VolumeScan list_volumes() override
    {
        VolumeScan scan = m_volumes->list_volumes();
        if (!scan.ok)
            return scan;
        for (const camera::ConnectedCamera& found : m_cameras->cameras())
            scan.volumes.push_back(camera_volume(found));
        return scan;
    }

private:
    std::unique_ptr<VolumeSource> m_volumes;
    std::shared_ptr<CameraCache> m_cameras;
};

}  // namespace

std::vector<camera::ConnectedCamera> CameraCache::cameras()
{
    if (!m_last)
        look();
    return m_last.value_or(std::vector<camera::ConnectedCamera>{});
}

bool CameraCache::look()
{
    std::string why;
    std::vector<camera::ConnectedCamera> now = m_lister(why);
    if (!why.empty()) {
        std::fprintf(stderr, "Cameras can't be looked for: %s\n", why.c_str());
        return false;
    }
    if (m_last && *m_last == now)
        return false;
    const bool had_looked = m_last.has_value();
    m_last = std::move(now);
    return had_looked;
}

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

std::unique_ptr<VolumeSource> with_cameras(std::unique_ptr<VolumeSource> volumes,
                                           std::shared_ptr<CameraCache> cameras)
{
    return std::make_unique<CameraVolumes>(std::move(volumes), std::move(cameras));
}

}  // namespace oakvane
