#include "prefs_support.h"

#include <QDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

using namespace oakvane;
using namespace oakvane::test;
namespace fs = std::filesystem;

namespace {

using Startup = PrefsTest;
using Strings = std::vector<std::string>;

std::string home() { return QDir::homePath().toStdString(); }

}  // namespace

TEST_F(Startup, FirstStartConvertsTheDefaultsIntoDefault)
{
    start();
    EXPECT_TRUE(host.messages.empty());
    // Newest property first: the reverse of the conversion order; Sound is never converted.
    const Strings expected = {
        "StartingNumber\t1", "UserFolder\tMy Job", "WantRangeFolder\t0", "WantUserFolder\t0",
        "WantDateFolders\t1", "Template\t[none]", "AutoEject\t0", "AutoIngest\t0",
        "Preview\t-p0", "NameFmt\tSDNE", "NameText4\t", "NameText3\t", "NameText2\t",
        "NamePfx\tIMG", "Arrangement\t2", "Embed\t0", "VerifyOnly\t0", "KeepRaw\t0",
        "ConverterApp\t", "ViewerApp\t[none]", "PrimaryFolder\t" + home() + "/Pictures",
        "BackupFolder\t" + home() + "/OakvaneBackup", "CardFolder\t[user choice]"};
    EXPECT_EQ(set_lines("Default"), expected);
    EXPECT_EQ(list_tree(dir / "Oakvane"), Strings{"Main/Default"});
    EXPECT_EQ(prefs->CurrentSetName(), "Default");
    EXPECT_TRUE(prefs->GetSound());
}

TEST_F(Startup, ProfileValuesAreReadUnderTheirOldNames)
{
    write_profile("EmbedRaw=1\nDateFolders=0\nUserFolderName=Trip\nUserFolder=1\n"
                  "RangeFolder=1\nEmbed=0\nKeepRaw=7\nArrangement=3\nSound=0\n");
    {
        Preferences before(host, where());
        EXPECT_TRUE(before.GetEmbed());  // before the start-up, the profile is read
        EXPECT_FALSE(before.GetSound());
    }
    start();
    const Strings lines = set_lines("Default");
    for (const char* line : {"Embed\t1", "WantDateFolders\t0", "UserFolder\tTrip",
                             "WantUserFolder\t1", "WantRangeFolder\t1", "KeepRaw\t1",
                             "Arrangement\t3"})
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    EXPECT_EQ(lines.size(), 23u);
    EXPECT_TRUE(prefs->GetSound());
}

TEST_F(Startup, OldProfileValuesAreTakenAsTheyStand)
{
    // Values written by hand or by an earlier version: commas, semicolons and backslashes are
    // part of the value; blanks around it and one pair of quotes are not.
    write_profile("userfoldername = Smith, Jones Wedding\r\nNameText2=x;y\r\n"
                  "BackupFolder=/srv/photos\\new\r\nNamePfx=\" IMG \"\r\n"
                  "; CardFolder=/ignored\r\n[Other]\r\nNameFmt=SAEE\r\n");
    start();
    EXPECT_EQ(prefs->GetUserFolder(), "Smith, Jones Wedding");
    EXPECT_EQ(prefs->GetNameText2(), "x;y");
    EXPECT_EQ(prefs->GetBackupFolder(), "/srv/photos\\new");
    EXPECT_EQ(prefs->GetNamePfx(), " IMG ");
    EXPECT_EQ(prefs->GetCardFolder(), "[user choice]");
    EXPECT_EQ(prefs->GetNameFmt(), "SDNE");
}

// A set file can be opened in a folder that cannot be listed; such a folder must not make the
// start-up take itself for the first one and write the profile's values over "Default". Root
// lists any folder, so the start-up runs as an unprivileged user in a child process.
TEST_F(Startup, SetFolderThatCannotBeListedIsNotAFirstStart)
{
    write_set("Default", {"NamePfx\tMINE"});
    const std::string before = read_file(set_path("Default"));
    fs::permissions(dir.path(), fs::perms::all);
    fs::permissions(dir / "Oakvane", fs::perms::all);
    fs::permissions(dir / "Oakvane/Main", fs::perms::owner_write | fs::perms::owner_exec |
                                              fs::perms::others_write | fs::perms::others_exec);
    EXPECT_EXIT(
        {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                std::_Exit(3);
            Preferences p(host, where());
            const bool started = p.InitPreferences();
            std::_Exit(started && host.messages.empty() && p.GetNamePfx() == "MINE" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(read_file(set_path("Default")), before);
}

TEST_F(Startup, ExistingDefaultIsOpenedAndItsTextsConverted)
{
    write_profile("EmbedRaw=1\n");
    write_set("Default", {"KeepRaw\t7", "Arrangement\t5", "VerifyOnly\tyes", "AutoEject\t-1"});
    start();
    EXPECT_TRUE(prefs->GetKeepRaw());
    EXPECT_EQ(prefs->GetArrangement(), 5);
    EXPECT_FALSE(prefs->GetVerifyOnly());
    EXPECT_TRUE(prefs->GetAutoEject());
    EXPECT_FALSE(prefs->GetEmbed());
    EXPECT_TRUE(prefs->GetSound());
}

// The report folder is newer than the profile: a value found there under its name is no old
// setting and stays where it is; a set's own value is read as it stands.
TEST_F(Startup, ReportFolderComesOnlyFromTheSet)
{
    write_profile("ReportFolder=/srv/old-reports\n");
    start();
    EXPECT_EQ(prefs->GetReportFolder(), "");
    for (const std::string& line : set_lines("Default"))
        EXPECT_FALSE(line.starts_with("ReportFolder")) << line;

    prefs.reset();
    write_set("Default", {"ReportFolder\t/srv/reports"});
    start();
    EXPECT_EQ(prefs->GetReportFolder(), "/srv/reports");
}

TEST_F(Startup, MissingDefaultIsCreatedEmpty)
{
    write_set("Trip", {"NamePfx\tTrip"});
    start();
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(set_lines("Default").empty());
    EXPECT_EQ(prefs->GetNamePfx(), "IMG");
    EXPECT_EQ(prefs->GetBackupFolder(), home() + "/OakvaneBackup");
}

TEST_F(Startup, UnreadableDefaultIsKeptAndStartupFails)
{
    write_set("Trip", {"NamePfx\tTrip"});
    fs::create_symlink("/proc/self/mem", set_path("Default"));  // listed, but never readable
    Preferences p(host, where());
    EXPECT_FALSE(p.InitPreferences());
    EXPECT_EQ(host.messages, Strings{"Can't initialize properties at startup"});
    EXPECT_TRUE(fs::is_symlink(set_path("Default")));
}

TEST_F(Startup, RootThatCannotBeCreatedFailsTheStart)
{
    write_file(dir / "file", "");
    PrefsLocation below_a_file = where();
    below_a_file.root = dir / "file/Oakvane";
    Preferences p(host, below_a_file);
    EXPECT_FALSE(p.InitPreferences());
    EXPECT_EQ(host.messages,
              (Strings{"PropInit failed", "Can't store initial properties for conversion"}));
}

TEST_F(Startup, ChangesAreWrittenAtTheEndAndAFailedSaveIsReported)
{
    start();
    prefs->SetUserFolder("Wedding");
    prefs.reset();
    EXPECT_EQ(set_lines("Default").at(1), "UserFolder\tWedding");

    start();
    prefs->SetUserFolder("Party");
    fs::remove(set_path("Default"));
    fs::create_directories(set_path("Default") + "/x");  // a folder the write cannot replace
    EXPECT_FALSE(prefs->SavePreferences());
    EXPECT_EQ(host.messages, Strings{"Can't save preferences"});
    EXPECT_EQ(prefs->GetUserFolder(), "Party");
}

TEST(DefaultLocation, FollowsTheConfigurationFolder)
{
    TempDir config;
    const std::string saved = std::getenv("XDG_CONFIG_HOME");
    setenv("XDG_CONFIG_HOME", config.str().c_str(), 1);
    const PrefsLocation where = default_location();
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    EXPECT_EQ(where.root, config / "Oakvane");
    EXPECT_EQ(where.profile_path, config / "Oakvane/Oakvane.ini");
    EXPECT_EQ(where.template_folder, config / "Oakvane/Metadata Templates");
}
