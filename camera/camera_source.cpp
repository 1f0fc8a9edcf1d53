#include "camera_source.h"

#include "camera_address.h"
#include "camera_connection.h"
#include "camera_listing.h"
#include "camera_read.h"
#include "engine.h"
#include "folder_source.h"

namespace oakvane::camera {

CameraSource::CameraSource(std::string card_folder, HostHooks& host) : m_folder(std::move(card_folder)), m_host(host)
{
}

CameraSource::~CameraSource() = default;

Status CameraSource::open()
{
    if (m_connection)
        return {};
    const std::optional<std::string> port = camera_port(m_folder);
    if (!port)
        return fail("Not a camera: \"" + m_folder + "\"");
    auto connection = std::make_unique<Connection>();
    const auto say = [this](std::string_view text) { m_host.output_text(text); };
    if (Status opened = open_camera(*port, say, *connection); !opened)
        return opened;
    if (Status found = find_dcim_folders(*connection, m_roots); !found)
        return found;
    m_connection = std::move(connection);
    return {};
}

Status CameraSource::list(const Visitor& visit)
{
    if (Status opened = open(); !opened)
        return opened;
    // Named by the port it was found at, so that every item names the very camera read.
    const std::string prefix = camera_folder(m_connection->port);
    for (const std::string& root : m_roots)
        if (Status walked = walk_camera_folder(*m_connection, root, prefix, visit); !walked)
            return walked;
    return {};
}

Status CameraSource::read(Run& run, const CardItem& item, ChunkSink& sink)
{
    if (Status opened = open(); !opened)
        return opened;
    return read_camera_file(*m_connection, run, item, sink);
}

int CameraSource::file_system_type(unsigned long& type)
{
    type = 0;
    return 0;
}

CardSourceFactory card_sources()
{
    return [](const std::string& card_folder, HostHooks& host) -> std::unique_ptr<CardSource> {
        if (is_camera_folder(card_folder))
            return std::make_unique<CameraSource>(card_folder, host);
        return std::make_unique<FolderSource>(card_folder);
    };
}

}  // namespace oakvane::camera
