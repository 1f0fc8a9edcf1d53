#pragma once
// When the automatic update check is due.

#include <ctime>
#include <string>

namespace oakvane {

// The automatic check runs at most once in this many seconds (7 days).
inline constexpr std::time_t kUpdateInterval = 604800;

// Whether the automatic check is due at now, given the profile's local time of the last one,
// "%Y-%m-%d %H:%M:%S" (only the first 19 characters count). A text that is shorter or is no
// valid time counts as never checked. A time in the future holds the check off until a week
// after it, since the difference is then negative.
bool update_check_due(const std::string& last_check, std::time_t now);

}  // namespace oakvane
