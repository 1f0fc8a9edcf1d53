#pragma once
// libgphoto2's objects as owners that release them with their own calls.

#include <gphoto2/gphoto2.h>

#include <memory>
#include <string>

namespace oakvane::camera {

struct ContextUnref {
    void operator()(GPContext* context) const { gp_context_unref(context); }
};
struct CameraUnref {
    void operator()(Camera* camera) const { gp_camera_unref(camera); }
};
struct ListUnref {
    void operator()(CameraList* list) const { gp_list_unref(list); }
};
struct FileUnref {
    void operator()(CameraFile* file) const { gp_file_unref(file); }
};
struct AbilitiesFree {
    void operator()(CameraAbilitiesList* list) const { gp_abilities_list_free(list); }
};
struct PortsFree {
    void operator()(GPPortInfoList* list) const { gp_port_info_list_free(list); }
};

using GpContext = std::unique_ptr<GPContext, ContextUnref>;
using GpCamera = std::unique_ptr<Camera, CameraUnref>;
using GpList = std::unique_ptr<CameraList, ListUnref>;
using GpFile = std::unique_ptr<CameraFile, FileUnref>;
using GpAbilities = std::unique_ptr<CameraAbilitiesList, AbilitiesFree>;
using GpPorts = std::unique_ptr<GPPortInfoList, PortsFree>;

// A new empty list; null when libgphoto2 can't make one.
inline GpList new_list()
{
    CameraList* list = nullptr;
    return GpList(gp_list_new(&list) == GP_OK ? list : nullptr);
}

// libgphoto2's own words for a result code.
inline std::string gp_text(int result) { return gp_result_as_string(result); }

}  // namespace oakvane::camera
