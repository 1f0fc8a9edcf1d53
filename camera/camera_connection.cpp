#include "camera_connection.h"

#include "camera_detect.h"
#include "gvfs_release.h"
#include "usb_holders.h"

namespace oakvane::camera {

namespace {

// The camera to open at port, or the only one connected when port is "".
Status choose_camera(const std::string& port, ConnectedCamera& chosen)
{
    if (port.starts_with("disk:")) {
        chosen = {kDirectoryBrowse, port};
        return {};
    }
    std::string why;
    const std::vector<ConnectedCamera> cameras = detect_cameras(why);
    if (!why.empty())
        return fail("Can't look for cameras: " + why);
    if (port.empty()) {
        if (cameras.empty())
            return fail("No camera connected");
        if (cameras.size() > 1) {
            std::string ports;
            for (const ConnectedCamera& camera : cameras)
                ports += "\n    " + camera.port + "  " + camera.model;
            return fail("Several cameras connected; name one by its port:" + ports);
        }
        chosen = cameras.front();
        return {};
    }
    for (const ConnectedCamera& camera : cameras)
        if (camera.port == port) {
            chosen = camera;
            return {};
        }
    // A camera on the network is not found by looking, only by its address.
    if (port.starts_with("ptpip:")) {
        chosen = {kPtpIpCamera, port};
        return {};
    }
    return fail("No camera connected at " + port);
}

Status set_model_and_port(Connection& connection)
{
    CameraAbilitiesList* abilities_list = nullptr;
    if (gp_abilities_list_new(&abilities_list) < GP_OK)
        return fail("libgphoto2 can't list camera models");
    const GpAbilities models(abilities_list);
    if (const int loaded = gp_abilities_list_load(abilities_list, connection.context.get()); loaded < GP_OK)
        return fail("libgphoto2 can't load its camera drivers (" + gp_text(loaded) + ")");
    const int model = gp_abilities_list_lookup_model(abilities_list, connection.model.c_str());
    CameraAbilities abilities;
    if (model < GP_OK || gp_abilities_list_get_abilities(abilities_list, model, &abilities) < GP_OK)
        return fail("libgphoto2 has no driver for the camera \"" + connection.model + "\"");

    GPPortInfoList* ports_list = nullptr;
    if (gp_port_info_list_new(&ports_list) < GP_OK)
        return fail("libgphoto2 can't list ports");
    const GpPorts ports(ports_list);
    if (const int loaded = gp_port_info_list_load(ports_list); loaded < GP_OK)
        return fail("libgphoto2 can't load its port drivers (" + gp_text(loaded) + ")");
    const int port = gp_port_info_list_lookup_path(ports_list, connection.port.c_str());
    GPPortInfo info;
    if (port < GP_OK || gp_port_info_list_get_info(ports_list, port, &info) < GP_OK)
        return fail("No such camera port: " + connection.port);
    if (gp_camera_set_abilities(connection.camera.get(), abilities) < GP_OK ||
        gp_camera_set_port_info(connection.camera.get(), info) < GP_OK)
        return fail("libgphoto2 can't set up the camera at " + connection.port);
    return {};
}

// gvfs takes a camera as it is plugged in; asked, it lets go of it.
void release_from_desktop(const std::string& port, const Say& say)
{
    const GvfsRelease release = release_from_gvfs(port, usb_device_node(port));
    for (const std::string& location : release.released)
        say("Asked gvfs to let go of the camera: unmounted " + location + "\n");
    if (!release.failure.empty())
        say("gvfs would not let go of the camera: " + release.failure + "\n");
}

Status claim_failure(const Connection& connection, int result)
{
    std::string message = "Can't open the camera " + connection.model + " at " + connection.port + " (" +
                          gp_text(result) + ")";
    if (const std::string node = usb_device_node(connection.port); !node.empty())
        message += ". " + held_camera_advice(connection.port, processes_holding(node));
    return fail(message);
}

}  // namespace

Status open_camera(const std::string& port, const Say& say, Connection& connection)
{
    ConnectedCamera chosen;
    if (Status found = choose_camera(port, chosen); !found)
        return found;
    connection.model = chosen.model;
    connection.port = chosen.port;
    connection.context.reset(gp_context_new());
    Camera* camera = nullptr;
    if (!connection.context || gp_camera_new(&camera) < GP_OK)
        return fail("libgphoto2 can't start");
    connection.camera.reset(camera);
    if (Status set = set_model_and_port(connection); !set)
        return set;
    release_from_desktop(connection.port, say);
    if (const int opened = gp_camera_init(camera, connection.context.get()); opened < GP_OK)
        return claim_failure(connection, opened);
    return {};
}

}  // namespace oakvane::camera
