#pragma once
// Capture dates read from the photos themselves (EXIF), for a card whose file times alone
// can't tell its camera's clock.

#include "engine.h"

#include <optional>
#include <string>
#include <string_view>

namespace oakvane {

// The EXIF DateTimeOriginal, and OffsetTimeOriginal where present, of the photo whose file
// begins with head: a JPEG, a TIFF or a TIFF-based raw. nullopt, with the reason in why, when
// it carries none or can't be read. A CaptureDateReader. libexiv2's own messages go to the
// error trace's log (when it is on), never to standard error. Safe on several threads.
std::optional<CaptureDate> read_capture_date(std::string_view head, std::string& why);

}  // namespace oakvane
