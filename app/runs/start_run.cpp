#include "start_run.h"

#include "camera_address.h"
#include "preferences.h"
#include "run_settings.h"
#include "run_texts.h"

#include <ctime>
#include <unistd.h>

namespace oakvane {

namespace {

constexpr const char* kUserChoice = "[user choice]";
constexpr const char* kNoViewer = "[none]";

bool folder_exists(const std::string& path) { return !path.empty() && access(path.c_str(), F_OK) == 0; }

// A refusal's own text stays its first line; what can be done about it follows.
std::string below(const std::string& first, const std::string& more)
{
    return more.empty() ? first : first + "\n" + more;
}

// Clears the running flag however the run ends.
class RunningFlag {
public:
    explicit RunningFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~RunningFlag() { m_flag = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool& m_flag;
};

}  // namespace

StartResult StartCommand::OnStart()
{
    if (m_running)
        return StartResult::NotStarted;
    RunningFlag running(m_running);
    return run();
}

StartResult StartCommand::run()
{
    m_host.set_buttons(false, false);
    m_host.clear_output();
    m_host.output_text("Starting");
    m_host.output_text("");
    const bool number_box = m_host.starting_number_enabled();
    if (number_box)
        m_prefs.SetStartingNumber(m_host.starting_number_text());
    m_prefs.SavePreferences();

    std::optional<RunSettings> settings = decide_settings();
    if (!settings)
        return StartResult::Failed;

    const std::time_t start = std::time(nullptr);
    m_host.set_main_status("Copying images");
    settings->starting_number_used = number_box;
    for (const std::string& line : run_summary_lines(*settings))
        m_host.output_text(line);

    RunResult outcome;
    Failure refused;
    if (const std::optional<RunRequest> request = run_request(*settings, refused))
        outcome = m_host.run_with_progress(*request);
    else {
        outcome.failure = refused;
        show_failure(refused, [this](std::string_view text) { m_host.output_text(text); });
        m_host.start_refused(refused.text());
    }
    const StartResult result = report_outcome(outcome, static_cast<long>(std::time(nullptr) - start));
    if (number_box && outcome.next_number) {
        const std::string next = std::to_string(*outcome.next_number);
        m_prefs.SetStartingNumber(next);
        m_host.set_starting_number_text(next);
    }
    enable_buttons();
    if (outcome.succeeded()) {
        launch_viewer(outcome.folder);
        // A camera is read, never mounted: there is nothing to eject.
        if (m_prefs.GetAutoEject() && !camera::is_camera_folder(settings->card_folder))
            m_host.eject_card();
    }
    m_host.output_text("\nFinished\n");
    m_host.beep();
    return result;
}

std::optional<RunRequest> StartCommand::PlanRequest()
{
    std::optional<RunSettings> settings = decide_settings();
    if (!settings)
        return std::nullopt;
    settings->starting_number_used = m_host.starting_number_enabled();
    for (const std::string& line : run_summary_lines(*settings))
        m_host.output_text(line);
    Failure refused;
    std::optional<RunRequest> request = run_request(*settings, refused);
    if (!request)
        show_failure(refused, [this](std::string_view text) { m_host.output_text(text); });
    return request;
}

std::optional<RunSettings> StartCommand::decide_settings()
{
    const std::optional<std::string> card_folder = choose_card_folder(m_prefs.GetCardFolder());
    if (!card_folder || card_folder->empty())
        return fail(below(kNoCardChosen, m_host.no_card_advice())), std::nullopt;
    const std::optional<std::string> backup_folder = choose_backup_folder();
    if (!backup_folder)
        return fail(kIngestionStopped), std::nullopt;
    if (!folder_exists(*backup_folder))
        return fail(below(kNoBackupFolder, missing_backup_text(*backup_folder))), std::nullopt;
    // Without this the engine would be handed an empty converter path and fail only after
    // the backup copy.
    if (m_prefs.GetKeepRaw() && m_prefs.GetConverterApp().empty())
        return fail("No DNG converter chosen in Preferences"), std::nullopt;
    return read_run_settings(m_prefs, *card_folder, *backup_folder, m_host.user_folder_name());
}

std::optional<std::string> StartCommand::choose_card_folder(const std::string& card_preference)
{
    if (m_card_override)
        return m_card_override;
    const DetectedCard card = m_host.detected_card();
    if (m_prefs.GetAutoIngest() && !card.folder.empty())
        return card.folder;
    if (card_preference != kUserChoice)
        return card_preference;
    m_host.set_main_status("Choosing card");
    if (!card.folder.empty() && !card.name.empty()) {
        switch (m_host.choose_card(card.name)) {
        // As the card stands once answered: the question waited in an event loop.
        case CardAnswer::Ok: return m_host.detected_card().folder;
        case CardAnswer::Cancel: return std::nullopt;
        case CardAnswer::Other: break;
        }
    }
    return m_host.browse_for_folder("Choose card").value_or("");
}

// None when the user stopped the ingestion; otherwise the folder to test.
std::optional<std::string> StartCommand::choose_backup_folder()
{
    const std::string backup = m_prefs.GetBackupFolder();
    if (folder_exists(backup))
        return backup;
    const std::optional<BackupAnswer> answer =
        m_host.choose_backup(backup, m_previous_backup_folder);
    if (!answer)
        return backup;
    switch (*answer) {
    case BackupAnswer::Stop: return std::nullopt;
    case BackupAnswer::UsePrevious: return m_previous_backup_folder;
    case BackupAnswer::ChooseFolder: break;
    }
    m_previous_backup_folder = m_host.browse_for_folder("Choose backup folder").value_or("");
    return m_previous_backup_folder;
}

// A fresh account meets this first: the default backup folder is never made for it.
std::string StartCommand::missing_backup_text(const std::string& folder)
{
    const std::string what = folder.empty() ? "No backup folder was chosen."
                                            : "The backup folder " + folder + " does not exist.";
    return below(what, m_host.backup_folder_advice(folder));
}

// The first line is the refusal itself, for the output list's ERROR line and the report; the
// lines below it, shown one a line, say what to do.
StartResult StartCommand::fail(const std::string& text)
{
    const std::size_t end = text.find('\n');
    m_host.output_text("ERROR: " + text.substr(0, end));
    for (std::size_t at = end; at != std::string::npos;) {
        const std::size_t next = text.find('\n', at + 1);
        m_host.output_text(text.substr(at + 1, next == std::string::npos ? next : next - at - 1));
        at = next;
    }
    m_host.start_refused(text.substr(0, end));
    m_host.set_main_status("Error");
    enable_buttons();
    return StartResult::Failed;
}

StartResult StartCommand::report_outcome(const RunResult& outcome, long elapsed)
{
    if (outcome.succeeded()) {
        m_host.set_main_status("Successful ingestion");
        m_host.output_text(ingestion_time_text(elapsed));
        return StartResult::Succeeded;
    }
    if (outcome.end == RunEnd::stopped) {
        m_host.set_main_status(kStoppedByUser);
        m_host.output_text(std::string("\n") + kStoppedByUser + "\n");
        m_host.message_box(kStoppedMessage);
        return StartResult::Stopped;
    }
    m_host.set_main_status("Error");
    m_host.message_box(kErrorMessage);
    return StartResult::Failed;
}

// The viewer gets the last primary folder that received images, when there is one: viewers
// and file managers here all take a folder argument.
void StartCommand::launch_viewer(const std::optional<std::string>& folder)
{
    const std::string viewer = m_prefs.GetViewerApp();
    if (viewer == kNoViewer) {
        m_host.output_text("\n(No viewer chosen in Preferences)\n");
        return;
    }
    m_host.output_text(launching_text(viewer, folder ? &*folder : nullptr));
    std::vector<std::string> arguments;
    if (folder)
        arguments.push_back(*folder);
    if (!m_host.launch_viewer(viewer, arguments))
        m_host.output_text("\nCan't launch viewer app: " + viewer);
}

void StartCommand::enable_buttons()
{
    const DetectedCard card = m_host.detected_card();
    m_host.set_buttons(true, !card.name.empty() && !camera::is_camera_folder(card.folder));
}

}  // namespace oakvane
