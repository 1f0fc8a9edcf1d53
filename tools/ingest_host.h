#pragma once
// The Start command on a terminal: the output list is standard output, questions that need a
// window get the answer that lets an unattended run go on or end, messages go to standard error.

#include "card_detector.h"
#include "eject.h"
#include "cli_host.h"
#include "preferences.h"
#include "run_report.h"
#include "start_run.h"

namespace oakvane {

class IngestHost : public StartHost, public PrefsHost, public CardView {
public:
    void set_preferences(Preferences* prefs) { m_prefs = prefs; }
    void set_detector(CardDetector* detector) { m_detector = detector; }
    // An ingest station ejects the card it has just ingested, whatever else is mounted; a
    // single run ejects only the card the run was on, when that is the one detected card.
    void set_station(bool station) { m_station = station; }
    // Card states are printed only while following the cards.
    void set_print_card_states(bool print) { m_print_card_states = print; }
    bool stop_requested() { return m_engine_host.stop_requested() != 0; }

    // Plans the run of these engine arguments and prints the plan; the exit status (0 when
    // the run would go ahead, 1 otherwise).
    int plan(const RunRequest& request);
    // The record of the last Start: its engine run, or the failure that kept the engine from
    // running. Empty before the first Start.
    RunRecord last_run() const;
    // Starts a new record: the next Start's.
    void begin_record();

    // StartHost
    void clear_output() override {}
    void output_text(std::string_view text) override;
    void set_main_status(std::string_view) override {}
    void set_buttons(bool, bool) override {}
    bool starting_number_enabled() override;
    std::string starting_number_text() override;
    void set_starting_number_text(const std::string&) override {}
    DetectedCard detected_card() override;
    std::string user_folder_name() override;
    CardAnswer choose_card(const std::string& card_name) override;
    std::optional<std::string> browse_for_folder(const std::string& title) override;
    std::optional<BackupAnswer> choose_backup(const std::string&, const std::string&) override;
    RunResult run_with_progress(const RunRequest& request) override;
    void message_box(const std::string& text) override;
    void start_refused(const std::string& why) override;
    std::string no_card_advice() override;
    std::string backup_folder_advice(const std::string& folder) override;
    bool launch_viewer(const std::string& program, const std::vector<std::string>& arguments) override;
    void eject_card() override;
    void beep() override {}

    // PrefsHost
    bool ask_yes_no(const std::string& text) override;
    std::string ask_new_name() override { return m_new_set_name; }
    // The answer to the new-name question of --new-set; "" cancels it.
    void set_new_set_name(const std::string& name) { m_new_set_name = name; }

    // CardView
    void set_card_text(std::string_view text) override;
    void set_eject_enabled(bool) override {}

private:
    EjectReport eject_stoppable(const std::string& card_folder);

    CliHost m_engine_host;
    Preferences* m_prefs = nullptr;
    CardDetector* m_detector = nullptr;
    bool m_station = false;
    bool m_print_card_states = false;
    std::string m_card_text;
    std::string m_run_card_folder;  // the card folder of the last run
    RunRecord m_record;
    std::string m_new_set_name;
    std::string m_start_error;  // a failure of Start before the engine ran
};

}  // namespace oakvane
