#include "prefs_support.h"

#include <gtest/gtest.h>

#include <regex>

using namespace oakvane;
using namespace oakvane::test;

namespace {

using ProfileValues = PrefsTest;

}  // namespace

TEST_F(ProfileValues, DefaultsAndRoundTrips)
{
    start();
    EXPECT_TRUE(prefs->GetUpdateCheck());
    EXPECT_EQ(prefs->GetUpdateCheckDate(), "1970-01-01 01:01:01");
    EXPECT_EQ(prefs->GetPrefSetCurrent(), "Default");

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
