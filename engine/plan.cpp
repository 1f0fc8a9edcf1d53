#include "plan.h"

#include "checked_plan_writer.h"
#include "driver.h"
#include "folder_source.h"
#include "name_codes.h"
#include "run.h"

#include <algorithm>
#include <new>

namespace oakvane {

namespace {

// Keeps the run's file records for the plan and passes on only what a plan's host hears.
class PlanHooks : public HostHooks {
public:
    PlanHooks(HostHooks& host, std::vector<FileRecord>& files) : m_host(host), m_files(files) {}
    void output_text(std::string_view) override {}
    void progress_status(std::string_view) override {}
    void progress_range(int) override {}
    void progress_step() override {}
    void progress_tick() override {}
    int stop_requested() override { return m_host.stop_requested(); }
    void file_record(const FileRecord& record) override { m_files.push_back(record); }
    void diagnostic(std::string_view text) override { m_host.diagnostic(text); }
    bool folder_on_card(const std::string& folder) override { return m_host.folder_on_card(folder); }

private:
    HostHooks& m_host;
    std::vector<FileRecord>& m_files;
};

// What a rehearsal of a run hears of the run's host: only stop requests and the card question.
class RehearsalHooks : public HostHooks {
public:
    explicit RehearsalHooks(Run& run) : m_run(run) {}
    void output_text(std::string_view) override {}
    void progress_status(std::string_view) override {}
    void progress_range(int) override {}
    void progress_step() override {}
    void progress_tick() override {}
    int stop_requested() override { return m_run.stop_requested() ? 1 : 0; }
    void file_record(const FileRecord&) override {}
    void diagnostic(std::string_view) override {}
    bool folder_on_card(const std::string& folder) override { return m_run.folder_on_card(folder); }

private:
    Run& m_run;
};

}  // namespace

Status rehearse_run(Run& run)
{
    RehearsalHooks hooks(run);
    CheckedPlanWriter writer;
    Run rehearsal(run.request, hooks, writer, run.card);
    Status rehearsed = prepare_run(rehearsal);
    std::vector<SpaceNeed> needs;
    if (rehearsed)
        rehearsed = drive_run(rehearsal, needs);
    // Any other failure the run meets itself, where it always has.
    if (rehearsed || writer.refused() || rehearsed.failure().stopped())
        return rehearsed;
    return {};
}

RunPlan plan_ingestion(const RunRequest& request, HostHooks& host)
{
    RunPlan plan;
    PlanHooks hooks(host, plan.files);
    CheckedPlanWriter writer;
    const std::unique_ptr<CardSource> card = open_card_source(request, hooks);
    Run run(request, hooks, writer, *card);
    for (char code : request.name_format)
        plan.names_vary = plan.names_vary || name_part(code) == NamePart::unique_id;
    Status planned;
    try {
        // A request the run would refuse before writing is shown as the run shows it.
        planned = prepare_run(run);
        if (!planned)
            show_failure(planned.failure(), [&host](std::string_view text) { host.output_text(text); });
        else
            planned = drive_run(run, plan.space);
    } catch (const std::bad_alloc&) {
        planned = fail("out of memory");
    }
    if (!planned)
        plan.refusal = planned.failure();
    plan.new_folders.assign(writer.new_folders().begin(), writer.new_folders().end());
    std::stable_sort(plan.files.begin(), plan.files.end(),
                     [](const FileRecord& a, const FileRecord& b) { return a.card_path < b.card_path; });
    return plan;
}

}  // namespace oakvane
