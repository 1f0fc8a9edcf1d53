#include "update_check.h"

#include "preferences.h"
#include "update_reply.h"
#include "update_schedule.h"
#include "update_version.h"

#include <ctime>
#include <optional>

namespace oakvane {

namespace {

constexpr const char* kVersionLabel = "Oakvane Version ";
constexpr const char* kCurrentReply = "YES";
constexpr const char* kUpdateAvailable =
    "An Oakvane update is available. Press the Web Site button for details.";

void show_version(const std::string& version, UpdateHost& host)
{
    host.output_text(kVersionLabel + version);
}

bool automatic_check_wanted(const Preferences& prefs)
{
    return prefs.GetUpdateCheck() &&
           update_check_due(prefs.GetUpdateCheckDate(), std::time(nullptr));
}

// The reports get the site's reply line, or none when the request failed.
void report_automatic_check(const std::string& version, const std::optional<std::string>& reply,
                            UpdateHost& host)
{
    if (!reply) {
        show_version(version, host);
        host.output_text("Update check failed (ingestion will proceed)\n");
    } else if (*reply == kCurrentReply) {
        show_version(version + " (up-to-date)", host);
    } else {
        show_version(version, host);
        host.output_text(*reply);
        host.message_box(kUpdateAvailable);
    }
}

// Whatever answers at the address (a captive portal, a hostile server) may send escape
// sequences that would take over the terminal or garble the output list.
std::optional<std::string> fetch_reply(const std::string& url, std::chrono::milliseconds timeout)
{
    std::optional<std::string> reply = fetch_first_line(url, timeout);
    if (reply)
        reply = printable_reply(*reply);
    return reply;
}

void report_user_check(const std::optional<std::string>& reply, UpdateHost& host)
{
    if (!reply)
        host.message_box("Update check failed (ingestion will proceed normally).");
    else if (*reply == kCurrentReply)
        host.message_box("Oakvane is up-to-date.");
    else
        host.message_box(kUpdateAvailable);
}

}  // namespace

void check_for_update(bool user_asked, Preferences& prefs, UpdateHost& host,
                      std::chrono::milliseconds timeout)
{
    const std::string version = program_version();
    const std::string url = update_url(update_base_url(), version);
    if (user_asked) {
        report_user_check(fetch_reply(url, timeout), host);
        return;
    }
    if (!automatic_check_wanted(prefs)) {
        show_version(version, host);
        return;
    }
    prefs.SetUpdateCheckDate();
    report_automatic_check(version, fetch_reply(url, timeout), host);
}

}  // namespace oakvane
