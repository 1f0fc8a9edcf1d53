#pragma once
// Streams one camera file into a sink through libgphoto2.

#include "camera_connection.h"
#include "card_source.h"

namespace oakvane::camera {

// Pushes the bytes of the camera file item into sink as libgphoto2 hands them over, after
// checking it still has the size and time listed. Stop is seen between chunks. Fails unless
// exactly the listed number of bytes arrived: some drivers report success after a read error.
Status read_camera_file(Connection& connection, Run& run, const CardItem& item, ChunkSink& sink);

}  // namespace oakvane::camera
