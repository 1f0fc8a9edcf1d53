#pragma once
// Filling one folder of the primary tree from one run of backup copies: raw files through
// the converter, everything else copied unchanged and checked, JPEGs decoded.

#include "publish_batch.h"
#include "run.h"

#include <cstdint>
#include <span>
#include <string>

namespace oakvane {

// files: backup copies that all lie in one backup folder; folder: the primary folder they
// go to. A failure is the converter's message, "Possibly corrupt JPEG: ...", or a step's.
Status convert_or_copy_folder(Run& run, std::span<const std::string> files, const std::string& folder);

// Creates every missing folder along path.
Status make_folder_path(Run& run, const std::string& path);

// Copies source under a staging name in destination's folder into copy, gives it the
// source's time and checks its size (size receives it); the caller counts it once it is
// accepted. A failure leaves no unfinished copy.
Status stage_unconverted(Run& run, const std::string& source, const std::string& destination,
                         PendingCopy& copy, std::uint64_t& size);

}  // namespace oakvane
