#pragma once
// A preference model in a fresh folder, with a host that records what it is told and answers
// questions from a script.

#include "preferences.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace oakvane::test {

class RecordingPrefsHost : public PrefsHost {
public:
    void message_box(const std::string& text) override { messages.push_back(text); }
    bool ask_yes_no(const std::string& text) override;
    std::string ask_new_name() override;
    void preferences_switched(const std::string& set_name) override
    {
        switched.push_back(set_name);
        if (on_switched)
            on_switched();
    }
    void pref_sets_changed() override { ++sets_changed; }

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::deque<bool> yes_no_answers;
    std::deque<std::string> new_names;
    std::vector<std::string> switched;
    int sets_changed = 0;
    std::function<void()> on_switched;  // what a window does while it reloads
};

class PrefsTest : public ::testing::Test {
protected:
    PrefsLocation where() const;
    std::string set_path(const std::string& name) const { return dir / ("Oakvane/Main/" + name); }
    // The value lines of a set file after its two header lines; checks the header on the way.
    std::vector<std::string> set_lines(const std::string& name) const;
    void write_set(const std::string& name, const std::vector<std::string>& lines) const;
    void write_profile(const std::string& app_section_lines) const;
    // A model started on this folder; the start-up must succeed.
    Preferences& start();

    TempDir dir;
    RecordingPrefsHost host;
    std::unique_ptr<Preferences> prefs;
};

}  // namespace oakvane::test
