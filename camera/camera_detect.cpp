#include "camera_detect.h"

#include "camera_address.h"
#include "gp_handles.h"

namespace oakvane::camera {

std::vector<ConnectedCamera> detect_cameras(std::string& why)
{
    std::vector<ConnectedCamera> found;
    const GpContext context(gp_context_new());
    GpList list = new_list();
    if (!context || !list) {
        why = "libgphoto2 can't start";
        return found;
    }
    const int result = gp_camera_autodetect(list.get(), context.get());
    if (result < GP_OK) {
        why = "camera detection failed (" + gp_text(result) + ")";
        return found;
    }
    for (int i = 0; i < gp_list_count(list.get()); ++i) {
        const char* model = nullptr;
        const char* port = nullptr;
        if (gp_list_get_name(list.get(), i, &model) != GP_OK || gp_list_get_value(list.get(), i, &port) != GP_OK ||
            !model || !port) {
            why = "camera detection gave an entry without a model or port";
            return {};
        }
        if (is_camera_port(port))
            found.push_back({model, port});
    }
    return found;
}

}  // namespace oakvane::camera
