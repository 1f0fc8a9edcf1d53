#pragma once
// oakvane-ingest's preference set commands: what the preferences dialog does with the sets,
// for a machine without a window. Each prints its result or its error and returns the exit
// status.

#include <optional>
#include <string>
#include <vector>

namespace oakvane {

class IngestHost;
class Preferences;

// The sets, one a line, the remembered one marked with "*".
int list_sets(Preferences& prefs);
// Every key of the set with its value, "(default)" after those the set does not hold.
int show_set(Preferences& prefs, IngestHost& host, const std::optional<std::string>& name);
// A copy of from (default: the remembered set) under name; the remembered set stays.
int new_set(Preferences& prefs, IngestHost& host, const std::string& name,
            const std::optional<std::string>& from);
// KEY=VALUE assignments checked against the keys' rules, all stored at once or none.
int set_values(Preferences& prefs, IngestHost& host, const std::optional<std::string>& name,
               const std::vector<std::string>& assignments);
// Makes name the remembered set, as choosing it in the window does.
int select_set(Preferences& prefs, IngestHost& host, const std::string& name);

// Opens the named set, or the remembered one, for this run; remember keeps the named one as
// the remembered set. False after the reason has been printed.
bool open_set(Preferences& prefs, IngestHost& host, const std::optional<std::string>& named,
              bool remember);

}  // namespace oakvane
