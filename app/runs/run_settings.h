#pragma once
// What one ingestion run uses, gathered from the current preference set and the window, and
// the two texts made from it: the summary of the output list and the engine's argument vector.

#include "engine.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace oakvane {

class Preferences;

struct RunSettings {
    std::string card_folder;
    std::string backup_folder;
    std::string primary_folder;
    std::string converter_app;
    bool keep_raw = false;     // run the converter
    bool verify_only = false;
    bool embed = false;
    bool read_back = true;  // read every copy back and compare it with the card
    bool decode_raws = true;  // unpack the raws copied as they are
    int arrangement = 2;       // 1, 2 or 3
    std::array<std::string, 4> texts;
    std::string name_fmt;
    std::string preview;
    std::string template_name;    // "[none]" for no sidecars
    std::string template_folder;
    bool want_date_folders = false;
    bool want_user_folder = false;
    bool want_range_folder = false;
    std::string starting_number;
    bool starting_number_used = false;  // the name format holds the automatic number
    std::string user_folder_name;       // "" when the user-named folder is not used
};

// The preference values of a run; the two folders are those Start decided.
RunSettings read_run_settings(const Preferences& prefs, const std::string& card_folder,
                              const std::string& backup_folder,
                              const std::string& user_folder_name);

// Whether a name format numbers images automatically (and so uses the starting number).
bool uses_starting_number(const std::string& name_fmt);

// The run's summary, one output line each.
std::vector<std::string> run_summary_lines(const RunSettings& run);

// The engine's request for the run; nullopt with why when a setting can't be used (a
// starting number out of range).
std::optional<RunRequest> run_request(const RunSettings& run, Failure& why);

}  // namespace oakvane
