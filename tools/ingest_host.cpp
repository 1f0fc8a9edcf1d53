#include "ingest_host.h"

#include "card_scan.h"
#include "eject.h"
#include "engine.h"
#include "plan.h"
#include "plan_print.h"
#include "run_settings.h"
#include "viewer_launch.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace oakvane {

void IngestHost::output_text(std::string_view text) { m_engine_host.output_text(text); }

void IngestHost::start_refused(const std::string& why) { m_start_error = why; }

// Without a window nothing can be asked: say what is mounted and how to name the card.
std::string IngestHost::no_card_advice()
{
    const VolumeScan scan = make_system_volume_source()->list_volumes();
    if (!scan.ok)
        return "The mounted volumes can't be listed (" + scan.error +
               ").\nName the card folder with --card FOLDER.";
    std::vector<const Volume*> cards;
    for (const Volume& volume : scan.volumes)
        if (volume.has_dcim)
            cards.push_back(&volume);
    if (cards.empty())
        return "No image card is mounted (no mounted volume holds a DCIM folder).\n"
               "Insert a card, or name a card folder with --card FOLDER.";
    if (cards.size() == 1)
        return "The preference set's CardFolder names no folder.\nName the card folder with "
               "--card FOLDER, e.g. --card " + card_folder_of(cards.front()->mount_point) + ".";
    std::string text = "Several image cards are mounted, and none can be asked for here:";
    for (const Volume* card : cards)
        text += "\n  " + card_folder_of(card->mount_point) +
                (card->label.empty() ? "" : " (" + card->label + ")");
    return text + "\nName the one to ingest with --card FOLDER.";
}

std::string IngestHost::backup_folder_advice(const std::string& folder)
{
    const std::string create =
        folder.empty() ? "Name one" : "Create it (mkdir -p '" + folder + "'), or name another";
    return create + " with: oakvane-ingest --set-value BackupFolder=FOLDER";
}

bool IngestHost::starting_number_enabled()
{
    return m_prefs && uses_starting_number(m_prefs->GetNameFmt());
}

std::string IngestHost::starting_number_text()
{
    return m_prefs ? m_prefs->GetStartingNumber() : "";
}

DetectedCard IngestHost::detected_card()
{
    if (!m_detector)
        return {};
    return {m_detector->state().card_folder, m_detector->state().card_name};
}

// No list to choose from on a terminal: the set's own folder, when the set uses one.
std::string IngestHost::user_folder_name()
{
    return m_prefs && m_prefs->GetWantUserFolder() ? m_prefs->GetUserFolder() : "";
}

// Exactly one card is mounted: unattended, that is the card to ingest.
CardAnswer IngestHost::choose_card(const std::string&) { return CardAnswer::Ok; }

std::optional<std::string> IngestHost::browse_for_folder(const std::string&) { return std::nullopt; }

// No question without a window: a missing backup folder ends the run.
std::optional<BackupAnswer> IngestHost::choose_backup(const std::string&, const std::string&)
{
    return std::nullopt;
}

RunResult IngestHost::run_with_progress(const RunRequest& request)
{
    m_run_card_folder = request.card_folder;
    m_record = begin_run_record(request, detected_card());
    ReportingHooks hooks(m_engine_host, m_record);
    const RunResult result = ingest(request, hooks);
    m_engine_host.finish_progress();
    end_run_record(m_record, result);
    return result;
}

int IngestHost::plan(const RunRequest& request)
{
    const RunPlan plan = plan_ingestion(request, m_engine_host);
    std::fflush(stdout);
    print_plan(plan, stdout);
    return plan.would_run() ? 0 : 1;
}

void IngestHost::begin_record()
{
    m_record = RunRecord{};
    m_start_error.clear();
}

RunRecord IngestHost::last_run() const
{
    if (m_record.request)
        return m_record;
    // Start ended before the engine ran: a failed run of no files.
    RunRecord record;
    record.message = m_start_error.empty() ? "The run did not start." : m_start_error;
    record.started = record.ended = QDateTime::currentDateTimeUtc();
    return record;
}

void IngestHost::message_box(const std::string& text)
{
    m_engine_host.finish_progress();
    std::fprintf(stderr, "%s\n", text.c_str());
}

bool IngestHost::launch_viewer(const std::string& program, const std::vector<std::string>& arguments)
{
    return start_detached(program, arguments);
}

// Nothing is deleted without someone to say yes.
bool IngestHost::ask_yes_no(const std::string& text)
{
    std::fprintf(stderr, "%s: no\n", text.c_str());
    return false;
}


// A busy card keeps an eject waiting for about ten seconds. A first stop meanwhile ends the
// station once the eject is over; a second one ends it at once, the next starting number saved
// first (the card stays mounted, as after a busy eject).
EjectReport IngestHost::eject_stoppable(const std::string& card_folder)
{
    // A plain thread and flag rather than a QThread: its end is then seen by the thread
    // sanitizer, which can't look into Qt's own locks.
    EjectReport report;
    std::atomic<bool> ejected{false};
    std::thread worker([&report, &ejected, card_folder] {
        report = eject_card_report(card_folder);
        ejected = true;
    });
    const int stop_fd = CliHost::stop_notify_fd();
    // The stop already requested has left its byte in the pipe: it is not counted twice.
    int stops = stop_requested() ? 1 : 0;
    for (char byte; stops > 0 && read(stop_fd, &byte, 1) == 1;) {
    }
    while (!ejected) {
        pollfd ready{stop_fd, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0)
            continue;
        for (char byte; read(stop_fd, &byte, 1) == 1;)
            ++stops;
        if (stops >= 2) {
            message_box("Stopped by user while ejecting the card: it may still be mounted.");
            if (m_prefs)
                m_prefs->SavePreferences();
            std::fflush(stdout);
            std::_Exit(130);
        }
    }
    worker.join();
    return report;
}

void IngestHost::eject_card()
{
    const bool ours = m_station || m_run_card_folder == detected_card().folder;
    const std::string folder = ours ? m_run_card_folder : std::string();
    const EjectReport report =
        m_station && CliHost::stop_notify_fd() >= 0 ? eject_stoppable(folder) : eject_card_report(folder);
    if (!report.reason.empty())
        message_box(report.reason);
    switch (report.result) {
    case CardEject::refused:
        message_box(kCantEjectCard);
        break;
    case CardEject::done:
        if (m_detector)
            m_detector->ScanForCards();
        break;
    case CardEject::no_card:
        break;
    }
}

void IngestHost::set_card_text(std::string_view text)
{
    if (!m_print_card_states || text == m_card_text)
        return;
    m_card_text = text;
    output_text(text);
}

}  // namespace oakvane
