#include "ini_lines.h"
#include "prefs_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

using namespace oakvane;
using namespace oakvane::test;
namespace fs = std::filesystem;

namespace {

using ProfileValues = PrefsTest;

}  // namespace

TEST_F(ProfileValues, DefaultsAndRoundTrips)
{
    start();
    EXPECT_FALSE(prefs->GetUpdateCheck());
    EXPECT_EQ(prefs->GetUpdateCheckDate(), "1970-01-01 01:01:01");
    EXPECT_EQ(prefs->GetPrefSetCurrent(), "Default");

    prefs->SetUpdateCheck(true);
    EXPECT_TRUE(prefs->GetUpdateCheck());
    prefs->SetUpdateCheck(false);
    prefs->SetUpdateCheckDate();
    prefs->SetPrefSetCurrent("Trip, Italy");
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(prefs->GetUpdateCheck());
    EXPECT_TRUE(std::regex_match(prefs->GetUpdateCheckDate(),
                                 std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")));
    EXPECT_EQ(prefs->GetPrefSetCurrent(), "Trip, Italy");
    const std::string ini = read_file(where().profile_path);
    EXPECT_EQ(ini.rfind("[App]\n", 0), 0u) << ini;
    EXPECT_NE(ini.find("UpdateCheck=0\n"), std::string::npos) << ini;
    EXPECT_EQ(set_lines("Default").size(), 23u);  // profile values never go into a set
}

TEST_F(ProfileValues, FailedWritesAreReported)
{
    write_file(dir / "file", "");
    PrefsLocation bad = where();
    bad.profile_path = dir / "file/Oakvane.ini";  // its folder is a file
    prefs = std::make_unique<Preferences>(host, bad);
    ASSERT_TRUE(prefs->InitPreferences());
    prefs->SetPrefSetCurrent("Trip");
    prefs->SetUpdateCheckDate();
    prefs->SetUpdateCheck(false);
    EXPECT_EQ(host.messages, std::vector<std::string>(3, "Can't write profile string"));
    EXPECT_EQ(prefs->GetPrefSetCurrent(), "Default");
}

// An old profile keeps values that the first start reads as plain text: writing the program's
// own keys must leave them, their comments and the other sections byte for byte.
TEST_F(ProfileValues, WritingAKeyChangesOnlyItsOwnLine)
{
    const std::string before = "; written by hand\r\n"
                               "[App]\r\n"
                               "BackupFolder=D:\\Photos; old card, \"best\"\r\n"
                               "UpdateCheck=1\r\n"
                               "  ; keep me\r\n"
                               "\r\n"
                               "[Other]\r\n"
                               "UpdateCheck=7";
    write_file(where().profile_path, before);
    Preferences early(host, where());  // the keys are written before any set exists
    early.SetUpdateCheck(false);
    early.SetPrefSetCurrent("Trip; Italy");
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(read_file(where().profile_path),
              "; written by hand\r\n"
              "[App]\r\n"
              "BackupFolder=D:\\Photos; old card, \"best\"\r\n"
              "UpdateCheck=0\r\n"
              "PrefSetCurrent=\"Trip; Italy\"\n"
              "  ; keep me\r\n"
              "\r\n"
              "[Other]\r\n"
              "UpdateCheck=7");

    start();  // the first start converts the profile
    EXPECT_EQ(prefs->GetBackupFolder(), "D:\\Photos; old card, \"best\"");
    EXPECT_FALSE(prefs->GetUpdateCheck());
    EXPECT_EQ(prefs->GetPrefSetCurrent(), "Trip; Italy");
}

TEST_F(ProfileValues, NamesComeBackAsTheyWereWritten)
{
    start();
    for (const std::string name :
         {"Trip, Italy", "a;b", "say \"cheese\"", "back\\slash", "  blanks  ", "@Invalid()",
          "@@twice", "\xc3\x89t\xc3\xa9 2024", "tab\there", "#hash", "x=y", "bell\x07", ""}) {
        prefs->SetPrefSetCurrent(name);
        EXPECT_EQ(prefs->GetPrefSetCurrent(), name);
    }
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(list_tree(dir / "Oakvane"), (std::vector<std::string>{"Main/Default", "Oakvane.ini"}))
        << "a temporary file was left behind";
}

TEST(IniLines, EntryIsAddedToItsSectionOrWithIt)
{
    const struct {
        std::string text, expected;
    } cases[] = {
        {"", "[App]\nK=v\n"},
        {"[Other]\nK=1", "[Other]\nK=1\n[App]\nK=v\n"},
        {"[App]", "[App]\nK=v\n"},
        {"[App]\nA=1\n\n; next\n[B]\n", "[App]\nA=1\nK=v\n\n; next\n[B]\n"},
        {" [ App ] \nK = 1\n[B]\n[App]\nK=2\n", " [ App ] \nK=v\n[B]\n[App]\nK=v\n"},
        {"[App]\n;K=1\nKey=2\n", "[App]\n;K=1\nKey=2\nK=v\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(with_ini_value(c.text, "App", "K", "v"), c.expected) << c.text;
}
