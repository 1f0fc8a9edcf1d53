#pragma once
// One ingestion after the arguments were checked: count, backup pass, range names, primary
// copy, report.

#include <cstddef>
#include <string>

namespace oakvane {

// Counts the files on the card whose names do not begin with "." into the run's image
// count. 0 after "ftw failed" or after naming a link or a file that is not a regular file.
int count_images();

// Runs the ingestion and prints its report. 1 when every image was placed and the report's
// counts add up; 0 after a recorded error, a stop, or a converter message left in msg.
int ingest_card(std::string& msg, std::size_t msg_size);

}  // namespace oakvane
