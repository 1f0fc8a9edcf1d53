#include "check_command.h"

#include "check_report.h"
#include "cli_host.h"
#include "library_check.h"
#include "report_check.h"
#include "run_texts.h"

#include <cstdio>

namespace oakvane {

int check_command(const std::string& folder, const std::optional<std::string>& report)
{
    // Found only after the check, a report that can't be written would waste hours of reading.
    if (report)
        if (const std::string why = report_destination_problem(*report); !why.empty()) {
            std::fprintf(stderr, "Can't write the report to %s: %s\n", report->c_str(), why.c_str());
            return 1;
        }
    CliHost host;
    CheckRecord record;
    record.folder = folder;
    record.started = QDateTime::currentDateTimeUtc();
    record.check = check_library(folder, host);
    record.ended = QDateTime::currentDateTimeUtc();
    host.finish_progress();
    const bool stopped = record.check.failure && record.check.failure->stopped();
    int status = record.check.good() ? 0 : stopped ? 130 : 1;
    if (stopped)
        std::printf("%s\n", kStoppedByUser);
    std::string why;
    if (report && !write_check_report(*report, record, why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        status = status == 0 ? 1 : status;
    }
    return status;
}

}  // namespace oakvane
