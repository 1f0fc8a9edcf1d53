#pragma once
// Filling one folder of the primary tree from one run of backup copies: raw files through
// the converter, everything else copied unchanged and checked, JPEGs decoded.

#include "publish_batch.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace oakvane {

// run: backup copies that all lie in one backup folder; folder: the primary folder they go
// to. converter "" means no converter. 1 on success; 0 after a recorded error or with the
// converter's message (or "Possibly corrupt JPEG: ...") in msg.
int convert_or_copy_folder(const std::string& converter, std::span<const std::string> run,
                           const std::string& folder, std::string& msg, std::size_t msg_size);

// True when the text after the path's last "." is one of the raw extensions (any case).
bool is_raw_file(const std::string& path);

// Creates every missing folder along path. 0 after a recorded error.
int make_folder_path(const std::string& path);

// Copies source under a staging name in destination's folder into copy, gives it the
// source's time and checks its size (size receives it); the caller counts it once it is
// accepted. 0 after a recorded error, with no unfinished copy left.
int stage_unconverted(const std::string& source, const std::string& destination,
                      PendingCopy& copy, std::uint64_t& size);

// Copies source to a new file destination (never replacing one), gives it the source's
// time, checks its size and publishes it once flushed. 0 after a recorded error, with no
// unfinished copy left.
int copy_unconverted(const std::string& source, const std::string& destination);

// "folder/name" for every entry of folder. Stops with "Stopped" when a stop is requested.
// nullopt-like failure is reported by ok = false after a recorded error.
std::vector<std::string> get_dir_list(const std::string& folder, bool& ok);

// Removes every file in folder, then the folder. 0 after a recorded error.
int rmdir_all(const std::string& folder);

}  // namespace oakvane
