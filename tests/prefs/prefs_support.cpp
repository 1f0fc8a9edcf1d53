#include "prefs_support.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

namespace oakvane::test {

namespace {

// The home and configuration folders point into a temporary folder for the whole run, so no
// test reads or writes the real ones and the machine-dependent defaults are known.
class PrefsEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        setenv("HOME", home.str().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
        static int argc = 1;
        static char name[] = "prefs_tests";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { app.reset(); }

    TempDir home;
    std::unique_ptr<QCoreApplication> app;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new PrefsEnvironment);

// The next scripted answer; a question the test did not expect fails it.
template <typename T>
T next_answer(std::deque<T>& answers, const std::string& question)
{
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected question: " << question;
        return T{};
    }
    T answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace

bool RecordingPrefsHost::ask_yes_no(const std::string& text)
{
    questions.push_back(text);
    return next_answer(yes_no_answers, text);
}

std::string RecordingPrefsHost::ask_new_name()
{
    return next_answer(new_names, "new name");
}

PrefsLocation PrefsTest::where() const
{
    return {dir / "Oakvane", dir / "Oakvane/Oakvane.ini", dir / "Oakvane/Metadata Templates"};
}

std::vector<std::string> PrefsTest::set_lines(const std::string& name) const
{
    std::istringstream in(read_file(set_path(name)));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    static const std::regex date(R"(Date\t\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})");
    if (lines.size() < 2 || lines[0] != "Version\t1" || !std::regex_match(lines[1], date)) {
        ADD_FAILURE() << "no set header in " << set_path(name);
        return lines;
    }
    return {lines.begin() + 2, lines.end()};
}

void PrefsTest::write_set(const std::string& name, const std::vector<std::string>& lines) const
{
    std::string text = "Version\t1\nDate\tSun Feb 26 14:23:45 2006\n";
    for (const std::string& line : lines)
        text += line + "\n";
    write_file(set_path(name), text);
}

void PrefsTest::write_profile(const std::string& app_section_lines) const
{
    write_file(where().profile_path, "[App]\n" + app_section_lines);
}

Preferences& PrefsTest::start()
{
    prefs = std::make_unique<Preferences>(host, where());
    EXPECT_TRUE(prefs->InitPreferences()) << ::testing::PrintToString(host.messages);
    return *prefs;
}

}  // namespace oakvane::test
