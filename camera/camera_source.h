#pragma once
// A card that is a connected camera, read through libgphoto2: its storages' DCIM folders are
// listed, and each file is streamed chunk by chunk into the run's sink, so the hash and Stop
// see every chunk and no copy is kept anywhere else. The camera is only read. It is opened on
// the first listing and held for the run.

#include "card_source.h"

#include <memory>
#include <string>
#include <vector>

namespace oakvane::camera {

struct Connection;

class CameraSource : public CardSource {
public:
    // card_folder names the camera ("camera:" or "camera:PORT"); what is done to reach it
    // (the desktop asked to let go of it) is told through host.
    CameraSource(std::string card_folder, HostHooks& host);
    ~CameraSource() override;

    Status list(const Visitor& visit) override;
    Status read(Run& run, const CardItem& item, ChunkSink& sink) override;
    // A camera has no file system of its own here: libgphoto2 gives its files' times as
    // real times (the PTP driver makes them with the host's zone), read as local time.
    int file_system_type(unsigned long& type) override;
    const std::string& folder() const override { return m_folder; }

private:
    Status open();

    std::string m_folder;
    HostHooks& m_host;
    std::unique_ptr<Connection> m_connection;
    std::vector<std::string> m_roots;  // the DCIM folders on the camera, e.g. "/store_00010001/DCIM"
};

// The sources of every card folder a host may be given: a camera for the texts that name
// one, a folder otherwise.
CardSourceFactory card_sources();

}  // namespace oakvane::camera
