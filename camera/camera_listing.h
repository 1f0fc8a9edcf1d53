#pragma once
// What a camera shows of itself as a card: its DCIM folders and the files below them.

#include "camera_connection.h"
#include "card_source.h"

#include <string>
#include <vector>

namespace oakvane::camera {

// The DCIM folders of the camera's storages: "/DCIM" or "/<storage>/DCIM". Fails when the
// camera shows none, rather than look like an empty card that may be formatted.
Status find_dcim_folders(Connection& connection, std::vector<std::string>& roots);

// Visits root (level 0) and everything below it, each folder before its contents. Item paths
// are prefix followed by the camera path; relative is the camera path without its first "/".
Status walk_camera_folder(Connection& connection, const std::string& root, const std::string& prefix,
                          const CardSource::Visitor& visit);

// The size and time of the camera file at its camera path, as a listing gives them.
Status camera_file_item(Connection& connection, const std::string& camera_path, const std::string& prefix,
                        int level, CardItem& item);

}  // namespace oakvane::camera
