#pragma once
// The Start command: decides the card and backup folders, writes the run's summary, runs the
// engine, reports the outcome, stores the next starting number, launches the viewer and
// ejects the card when the preferences ask for it. The desktop window and the command line
// run the same command; they differ only in how they answer StartHost.

#include "detected_card.h"
#include "run_settings.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oakvane {

class Preferences;

enum class CardAnswer { Ok, Other, Cancel };
enum class BackupAnswer { Stop = 0, UsePrevious = 1, ChooseFolder = 2 };

class StartHost {
public:
    virtual ~StartHost() = default;
    // The output list.
    virtual void clear_output() = 0;
    virtual void output_text(std::string_view text) = 0;
    virtual void set_main_status(std::string_view text) = 0;
    virtual void set_buttons(bool start_enabled, bool eject_enabled) = 0;
    // The starting-number box: enabled exactly when the name format numbers automatically.
    virtual bool starting_number_enabled() = 0;
    virtual std::string starting_number_text() = 0;
    virtual void set_starting_number_text(const std::string& text) = 0;
    // The card that card detection has found, as it stands now.
    virtual DetectedCard detected_card() = 0;
    // The user-named folder of the next run; empty when that folder is not used.
    virtual std::string user_folder_name() = 0;
    // "Ingest from card <name>?"
    virtual CardAnswer choose_card(const std::string& card_name) = 0;
    // The folder picker; none when nothing was chosen.
    virtual std::optional<std::string> browse_for_folder(const std::string& title) = 0;
    // The missing-backup-folder question; none when no question can be asked (no window).
    virtual std::optional<BackupAnswer> choose_backup(const std::string& backup_folder,
                                                      const std::string& previous_folder) = 0;
    // Runs the engine on this request and returns once it has finished.
    virtual RunResult run_with_progress(const RunRequest& request) = 0;
    virtual void message_box(const std::string& text) = 0;
    // Optional: Start ended before the engine ran, for why (as the output list says it).
    virtual void start_refused(const std::string& why) { (void)why; }
    // Optional: the lines below "No card chosen." that say which cards are mounted and how
    // this host names one; none where the user has just declined to choose.
    virtual std::string no_card_advice() { return {}; }
    // The line below the missing backup folder's that says how this host chooses another.
    virtual std::string backup_folder_advice(const std::string& folder)
    {
        (void)folder;
        return "Create it, or choose another backup folder in Preferences.";
    }
    // Starts the viewer without waiting; false when it could not be started.
    virtual bool launch_viewer(const std::string& program,
                               const std::vector<std::string>& arguments) = 0;
    // The Eject command, for automatic ejection.
    virtual void eject_card() = 0;
    virtual void beep() = 0;
};

// How a Start ended, for hosts that turn it into an exit status.
enum class StartResult { NotStarted, Succeeded, Failed, Stopped };

class StartCommand {
public:
    StartCommand(Preferences& prefs, StartHost& host) : m_prefs(prefs), m_host(host) {}

    // One whole run. Returns at once with NotStarted while a run is in progress: a card
    // inserted during a run can call Start again from the run's own event loop.
    StartResult OnStart();

    // The request of the run Start would make now: the same card and backup choice and
    // summary lines, but nothing saved and nothing run. None after a failure, shown as
    // Start shows it.
    std::optional<RunRequest> PlanRequest();

    // The card folder to use instead of the card choice (a folder named on a command line).
    void set_card_override(std::optional<std::string> folder) { m_card_override = std::move(folder); }

private:
    StartResult run();
    // The card and backup choice and the run's settings; none after a failure shown.
    std::optional<RunSettings> decide_settings();
    std::optional<std::string> choose_card_folder(const std::string& card_preference);
    std::optional<std::string> choose_backup_folder();
    StartResult fail(const std::string& text);
    std::string missing_backup_text(const std::string& folder);
    StartResult report_outcome(const RunResult& outcome, long elapsed);
    void launch_viewer(const std::optional<std::string>& folder);
    void enable_buttons();

    Preferences& m_prefs;
    StartHost& m_host;
    std::optional<std::string> m_card_override;
    // The backup folder last picked when the backup folder was missing, offered the next time
    // it is; never stored.
    std::string m_previous_backup_folder;
    bool m_running = false;
};

}  // namespace oakvane
