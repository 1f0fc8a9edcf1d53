#pragma once
// The JSON report of a library check, for scripts that watch a library over the years:
// every file the histories list with what the check found, the files no history lists, the
// counts and the outcome. docs/check-report.schema.json describes it.

#include "library_check.h"

#include <QByteArray>
#include <QDateTime>

#include <string>

namespace oakvane {

struct CheckRecord {
    std::string folder;  // the folder checked, as given
    LibraryCheck check;
    QDateTime started;  // in UTC
    QDateTime ended;
};

// The report as indented JSON.
QByteArray check_report_json(const CheckRecord& record);

// Writes the report to path as a whole or not at all (a temporary file beside it, flushed,
// renamed over it, the folder flushed); false with why after a failure.
bool write_check_report(const std::string& path, const CheckRecord& record, std::string& why);

}  // namespace oakvane
