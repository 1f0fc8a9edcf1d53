#pragma once
// The Start command on a terminal: the output list is standard output, questions that need a
// window get the answer that lets an unattended run go on or end, messages go to standard error.

#include "cli_host.h"
#include "preferences.h"
#include "start_run.h"

namespace oakvane {

class IngestHost : public StartHost, public PrefsHost {
public:
    void set_preferences(Preferences* prefs) { m_prefs = prefs; }

    // StartHost
    void clear_output() override {}
    void output_text(std::string_view text) override { m_engine_host.output_text(text); }
    void set_main_status(std::string_view) override {}
    void set_buttons(bool, bool) override {}
    bool starting_number_enabled() override;
    std::string starting_number_text() override;
    void set_starting_number_text(const std::string&) override {}
    CardAnswer choose_card(const std::string& card_name) override;
    std::optional<std::string> browse_for_folder(const std::string& title) override;
    std::optional<BackupAnswer> choose_backup(const std::string&, const std::string&) override;
    RunOutcome run_with_progress(const std::vector<std::string>& arguments) override;
    void message_box(const std::string& text) override;
    bool launch_viewer(const std::string& program, const std::vector<std::string>& arguments) override;
    void eject_card() override {}
    void beep() override {}

    // PrefsHost
    bool ask_yes_no(const std::string& text) override;
    std::string ask_new_name() override { return ""; }

private:
    CliHost m_engine_host;
    Preferences* m_prefs = nullptr;
};

}  // namespace oakvane
