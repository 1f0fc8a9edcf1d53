#pragma once
// A Start host that records what Start shows and answers its questions from a script.

#include "output_lines.h"
#include "preferences.h"
#include "run_settings.h"
#include "start_run.h"

#include <functional>
#include <string>
#include <vector>

namespace oakvane::test {

class FakeStartHost : public StartHost, public PrefsHost {
public:
    // StartHost
    void clear_output() override { lines.clear(); }
    // The run's elapsed time depends on the clock; its format has a test of its own.
    void output_text(std::string_view text) override
    {
        for (std::string& line : oakvane::output_lines(text))
            lines.push_back(line.starts_with("Ingestion time: ") ? "Ingestion time: <time>"
                                                                  : std::move(line));
    }
    void set_main_status(std::string_view text) override { statuses.emplace_back(text); }
    void set_buttons(bool start, bool eject) override
    {
        start_enabled = start;
        eject_enabled = eject;
    }
    bool starting_number_enabled() override { return prefs && uses_starting_number(prefs->GetNameFmt()); }
    std::string starting_number_text() override { return number_box; }
    void set_starting_number_text(const std::string& text) override { number_box = text; }
    DetectedCard detected_card() override { return card; }
    std::string user_folder_name() override { return user_folder; }
    CardAnswer choose_card(const std::string& card_name) override
    {
        asked_cards.push_back(card_name);
        return card_answer;
    }
    std::optional<std::string> browse_for_folder(const std::string& title) override
    {
        browse_titles.push_back(title);
        return browse_answer;
    }
    std::optional<BackupAnswer> choose_backup(const std::string& backup,
                                              const std::string& previous) override
    {
        backup_questions.push_back({backup, previous});
        return backup_answer;
    }
    RunResult run_with_progress(const RunRequest& request) override
    {
        const auto arguments = copy_arguments(request);
        runs.emplace_back(arguments.begin(), arguments.end());
        if (during_run)
            during_run();
        return outcome;
    }
    void message_box(const std::string& text) override { messages.push_back(text); }
    bool launch_viewer(const std::string& program, const std::vector<std::string>& arguments) override
    {
        launches.push_back({program, arguments});
        return launch_ok;
    }
    void eject_card() override { ++ejects; }
    void beep() override { ++beeps; }

    // PrefsHost
    bool ask_yes_no(const std::string&) override { return false; }
    std::string ask_new_name() override { return ""; }

    Preferences* prefs = nullptr;

    // Answers.
    std::string number_box;
    DetectedCard card;
    std::string user_folder;
    CardAnswer card_answer = CardAnswer::Ok;
    std::optional<std::string> browse_answer;
    std::optional<BackupAnswer> backup_answer;
    RunResult outcome;
    bool launch_ok = true;
    std::function<void()> during_run;

    // Records.
    std::vector<std::string> lines;
    std::vector<std::string> statuses;
    bool start_enabled = true;
    bool eject_enabled = true;
    std::vector<std::string> asked_cards;
    std::vector<std::string> browse_titles;
    std::vector<std::pair<std::string, std::string>> backup_questions;
    std::vector<std::vector<std::string>> runs;
    std::vector<std::string> messages;
    std::vector<std::pair<std::string, std::vector<std::string>>> launches;
    int ejects = 0;
    int beeps = 0;
};

}  // namespace oakvane::test
