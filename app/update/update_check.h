#pragma once
// Asking the product web site whether a newer Oakvane exists: automatically at start-up (at
// most once a week, when the user has not turned it off) and when the user asks.

#include "update_request.h"

#include <chrono>
#include <string>
#include <string_view>

namespace oakvane {

class Preferences;

// Where the check reports: the main window's output list and message boxes.
class UpdateHost {
public:
    virtual ~UpdateHost() = default;
    virtual void output_text(std::string_view text) = 0;
    virtual void message_box(const std::string& text) = 0;
};

// The automatic check (user_asked false) reports into the output list and interrupts only for
// an available update; it writes the time of the attempt into the profile before asking, so a
// failed attempt also waits a week. The user-asked check answers with a message box and
// leaves the profile alone. No failure ends the program. Blocks the calling thread for at most
// about timeout (see fetch_first_line).
void check_for_update(bool user_asked, Preferences& prefs, UpdateHost& host,
                      std::chrono::milliseconds timeout = kUpdateTimeout);

}  // namespace oakvane
