#pragma once
// The JSON report of one run, for scripts that want to know what went where without reading
// the output list: the settings, every card file with its copies and how each was checked,
// the report's counts and the outcome. docs/report.schema.json describes it.

#include "detected_card.h"
#include "engine.h"

#include <QByteArray>
#include <QDateTime>

#include <optional>

#include <string>
#include <vector>

namespace oakvane {

// What one run leaves for its report.
struct RunRecord {
    std::optional<RunRequest> request;  // unset when the engine never ran
    std::string card_folder;
    std::string card_name;
    std::vector<FileRecord> files;
    std::optional<RunCounts> counts;  // the report's counts, when the run reached its report
    std::string message;  // why the run failed ("" after a success)
    RunEnd end = RunEnd::failed;
    QDateTime started;  // in UTC, so that the report's times carry their zone
    QDateTime ended;
};

// Hooks that pass every call on to a host's own hooks and keep the run's output and file
// records for its report. Called from the engine's thread like the hooks they wrap; the
// record may be read once the engine has returned.
class ReportingHooks : public HostHooks {
public:
    ReportingHooks(HostHooks& inner, RunRecord& record) : m_inner(inner), m_record(record) {}

    void output_text(std::string_view text) override { m_inner.output_text(text); }
    void progress_status(std::string_view text) override { m_inner.progress_status(text); }
    void progress_range(int n) override { m_inner.progress_range(n); }
    void progress_step() override { m_inner.progress_step(); }
    void progress_tick() override { m_inner.progress_tick(); }
    int stop_requested() override { return m_inner.stop_requested(); }
    void file_record(const FileRecord& record) override;
    void conversion_progress(int converted, int total) override
    {
        m_inner.conversion_progress(converted, total);
    }
    void diagnostic(std::string_view text) override { m_inner.diagnostic(text); }
    bool folder_on_card(const std::string& folder) override { return m_inner.folder_on_card(folder); }

private:
    HostHooks& m_inner;
    RunRecord& m_record;
};

// A record of the run of request, started now; detected is the card detection's card at
// the start.
RunRecord begin_run_record(const RunRequest& request, const DetectedCard& detected);
// Ends the record with the engine's result.
void end_run_record(RunRecord& record, const RunResult& result);

// The card's name for a report: the detected card's name when the run was on it, else the
// name of the folder holding the card folder (a card's DCIM folder sits at its root).
std::string report_card_name(const std::string& card_folder, const DetectedCard& detected);

// The report as indented JSON.
QByteArray report_json(const RunRecord& run);

// Writes the report to path as a whole or not at all: a temporary file in the same folder,
// flushed to disk, renamed over path, then the folder flushed. false with why after a failure,
// also when the folder could not be flushed (the report may then be there, but is not said to
// be written).
bool write_report(const std::string& path, const RunRecord& run, std::string& why);

// The report of a host that keeps one report per run, written whole into folder: named after
// the card and the run's start, "<card>_<YYYYMMDD-HHMMSS>.json" (then "_1", "_2", ... before
// ".json"), and never replacing another file, not even one another writer is just giving
// the same name. path receives its name. false with why after a failure; why may also tell
// of something left behind after a success.
bool write_report_in(const std::string& folder, const RunRecord& run, std::string& path,
                     std::string& why);

}  // namespace oakvane
