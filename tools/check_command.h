#pragma once
// oakvane-ingest --check: a library re-read against its ASC MHL histories on a terminal.

#include <optional>
#include <string>

namespace oakvane {

// Checks the library at folder, prints a line per file and the summary on standard output
// (the progress bar on standard error on a terminal) and writes the JSON report to report
// when given. Returns the exit status: 0 when nothing listed is changed or missing, 130
// when stopped, 1 otherwise.
int check_command(const std::string& folder, const std::optional<std::string>& report);

}  // namespace oakvane
