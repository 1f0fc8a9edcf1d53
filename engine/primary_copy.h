#pragma once

#include <cstddef>
#include <string>

namespace oakvane {

// Fills the primary tree from the run's backup list: checks that the list holds exactly
// the images counted on the card, sorts it, and hands every run of files that share a
// backup folder to the matching folder under primary_folder. converter "" runs no
// converter. Keeps the last primary folder filled. 1 on success; 0 after a recorded
// error or with a message in msg.
int copy_to_primary(const std::string& converter, const std::string& primary_folder,
                    std::string& msg, std::size_t msg_size);

}  // namespace oakvane
