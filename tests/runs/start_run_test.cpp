// The Start command over a scripted host and a real preference store in a temporary folder.

#include "fake_start_host.h"
#include "run_texts.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace oakvane {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class StartRunTest : public ::testing::Test {
protected:
    StartRunTest()
        : m_prefs(host, PrefsLocation{(m_tmp.path() / "config").string(),
                                      (m_tmp.path() / "config/Oakvane.ini").string(),
                                      (m_tmp.path() / "config/Metadata Templates").string()})
    {
        host.prefs = &m_prefs;
        EXPECT_TRUE(m_prefs.InitPreferences());
        fs::create_directories(backup());
        m_prefs.PutPrefStr("App", "BackupFolder", backup());
        m_prefs.PutPrefStr("App", "PrimaryFolder", in_tmp("primary"));
        host.outcome.end = RunEnd::succeeded;
        host.outcome.folder = in_tmp("primary/2006/2006-02-26");
        host.outcome.next_number = 2;
    }

    std::string in_tmp(const std::string& name) const { return (m_tmp.path() / name).string(); }
    std::string backup() const { return in_tmp("backup"); }
    void one_card_mounted()
    {
        host.card = {"/media/ann/NIKON_D70/DCIM", "/media/ann/NIKON_D70/ (NIKON_D70)"};
    }
    StartResult start() { return m_command.OnStart(); }
    std::string card_argument() const { return host.runs.at(0).at(2); }
    Lines tail(std::size_t n) const { return Lines(host.lines.end() - n, host.lines.end()); }

    test::TempDir m_tmp;
    test::FakeStartHost host;
    Preferences m_prefs;
    // One command for every Start, as the window and oakvane-ingest keep one.
    StartCommand m_command{m_prefs, host};
};

TEST_F(StartRunTest, ChosenCardRunsWithTheWholeSummaryAndEndsFinished)
{
    one_card_mounted();
    ASSERT_EQ(start(), StartResult::Succeeded);
    EXPECT_EQ(host.asked_cards, Lines{"/media/ann/NIKON_D70/ (NIKON_D70)"});
    ASSERT_EQ(host.runs.size(), 1u);
    EXPECT_EQ(host.runs.at(0),
              (Lines{"copycard", "copy", "/media/ann/NIKON_D70/DCIM", backup(), in_tmp("primary"),
                     "none", "2", "IMG", "", "", "", "SDNE", "-p0", "", "-", "", "D--", "1", ""}));
    const Lines expected = {"Starting", "",
                            "Card Folder: /media/ann/NIKON_D70/DCIM",
                            "Primary Image Folder: " + in_tmp("primary"),
                            "Backup Image Folder: " + backup(),
                            "Run Adobe DNG Converter: No",
                            "Metadata Template: [none]",
                            "Primary Image Arrangement:",
                            "    Date Folder(s): Year and Date Folders",
                            "    User-Named Folder: [not used]",
                            "    Number-Range Folder: [not used]",
                            "Starting Number: 1 (not used)",
                            "Ingestion time: <time>", "",
                            "(No viewer chosen in Preferences)", "", "Finished"};
    EXPECT_EQ(host.lines, expected);
    EXPECT_EQ(host.statuses, (Lines{"Choosing card", "Copying images", "Successful ingestion"}));
    EXPECT_TRUE(host.start_enabled);
    EXPECT_TRUE(host.eject_enabled);
    EXPECT_EQ(host.beeps, 1);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(StartRunTest, CardChoice)
{
    // Automatic ingestion takes the mounted card over a fixed folder, without asking.
    one_card_mounted();
    m_prefs.PutPrefInt("App", "AutoIngest", 1);
    m_prefs.PutPrefStr("App", "CardFolder", in_tmp("fixed"));
    start();
    EXPECT_EQ(card_argument(), "/media/ann/NIKON_D70/DCIM");
    EXPECT_TRUE(host.asked_cards.empty());

    // Without it, the fixed folder.
    m_prefs.PutPrefInt("App", "AutoIngest", 0);
    host.runs.clear();
    start();
    EXPECT_EQ(card_argument(), in_tmp("fixed"));

    // "Other..." opens the picker; its folder is the card.
    m_prefs.PutPrefStr("App", "CardFolder", "[user choice]");
    host.card_answer = CardAnswer::Other;
    host.browse_answer = in_tmp("picked");
    host.runs.clear();
    start();
    EXPECT_EQ(card_argument(), in_tmp("picked"));
    EXPECT_EQ(host.browse_titles, Lines{"Choose card"});

    // No card mounted: the picker at once, no question.
    host.card = {};
    host.asked_cards.clear();
    host.runs.clear();
    start();
    EXPECT_TRUE(host.asked_cards.empty());
    EXPECT_EQ(card_argument(), in_tmp("picked"));
}

TEST_F(StartRunTest, NoCardEndsBeforeAnySummary)
{
    struct Case {
        bool mounted;
        CardAnswer answer;
        std::optional<std::string> picked;
    };
    const Case cases[] = {{true, CardAnswer::Cancel, in_tmp("never")},
                          {true, CardAnswer::Other, std::nullopt},
                          {false, CardAnswer::Ok, std::nullopt},
                          {false, CardAnswer::Ok, std::string()}};
    for (const Case& c : cases) {
        host.card = c.mounted ? DetectedCard{"/media/x/DCIM", "/media/x/"} : DetectedCard{};
        host.card_answer = c.answer;
        host.browse_answer = c.picked;
        host.beeps = 0;
        EXPECT_EQ(start(), StartResult::Failed);
        EXPECT_EQ(host.lines, (Lines{"Starting", "", "ERROR: No card chosen."}));
        EXPECT_EQ(host.statuses.back(), "Error");
        EXPECT_TRUE(host.runs.empty());
        EXPECT_EQ(host.beeps, 0);
        EXPECT_TRUE(host.start_enabled);
        EXPECT_EQ(host.eject_enabled, c.mounted);
    }
}

TEST_F(StartRunTest, ConverterOnWithoutAProgramEndsBeforeCopying)
{
    one_card_mounted();
    m_prefs.PutPrefInt("App", "KeepRaw", 1);
    m_prefs.PutPrefStr("App", "ConverterApp", "");
    EXPECT_EQ(start(), StartResult::Failed);
    EXPECT_EQ(host.lines.back(), "ERROR: No DNG converter chosen in Preferences");
    EXPECT_TRUE(host.runs.empty());

    m_prefs.PutPrefStr("App", "ConverterApp", "/usr/bin/dng-converter");
    EXPECT_EQ(start(), StartResult::Succeeded);
    EXPECT_EQ(host.runs.back()[5], "/usr/bin/dng-converter");
}

TEST_F(StartRunTest, MissingBackupFolderAsksAndRemembersThePick)
{
    one_card_mounted();
    const std::string missing = in_tmp("gone");
    m_prefs.PutPrefStr("App", "BackupFolder", missing);

    host.backup_answer = BackupAnswer::Stop;
    EXPECT_EQ(start(), StartResult::Failed);
    EXPECT_EQ(host.lines.back(), "ERROR: Ingestion stopped");

    // The first question offers no previous folder; a pick is used and offered next time.
    host.backup_answer = BackupAnswer::ChooseFolder;
    host.browse_answer = backup();
    EXPECT_EQ(start(), StartResult::Succeeded);
    EXPECT_EQ(host.runs.back()[3], backup());
    host.backup_answer = BackupAnswer::UsePrevious;
    EXPECT_EQ(start(), StartResult::Succeeded);
    EXPECT_EQ(host.runs.back()[3], backup());
    EXPECT_EQ(host.backup_questions,
              (std::vector<std::pair<std::string, std::string>>{
                  {missing, ""}, {missing, ""}, {missing, backup()}}));
    // The pick is never stored as the preference.
    EXPECT_EQ(m_prefs.GetBackupFolder(), missing);

    // A cancelled picker forgets the previous pick.
    host.backup_answer = BackupAnswer::ChooseFolder;
    host.browse_answer.reset();
    EXPECT_EQ(start(), StartResult::Failed);
    EXPECT_EQ(tail(3), (Lines{"ERROR: No backup folder", "No backup folder was chosen.",
                              "Create it, or choose another backup folder in Preferences."}));

    // Without a window to ask in, a missing folder ends the run. The question was still
    // put, and offered no previous folder after the cancel.
    host.backup_answer.reset();
    EXPECT_EQ(start(), StartResult::Failed);
    EXPECT_EQ(tail(3), (Lines{"ERROR: No backup folder",
                              "The backup folder " + missing + " does not exist.",
                              "Create it, or choose another backup folder in Preferences."}));
    EXPECT_EQ(host.backup_questions.back(), std::make_pair(missing, std::string()));
}

TEST_F(StartRunTest, StoppedAndFailedRunsWarnAndDoNothingMore)
{
    one_card_mounted();
    m_prefs.PutPrefStr("App", "NameFmt", "SAEE");
    m_prefs.PutPrefInt("App", "AutoEject", 1);
    m_prefs.PutPrefStr("App", "ViewerApp", "/usr/bin/true");
    host.number_box = "7";

    host.outcome = RunResult();
    host.outcome.end = RunEnd::stopped;
    EXPECT_EQ(start(), StartResult::Stopped);
    EXPECT_EQ(tail(5), (Lines{"Starting Number: 7", "", "Stopped by user", "", "Finished"}));
    EXPECT_EQ(host.statuses.back(), "Stopped by user");
    EXPECT_EQ(host.messages, Lines{kStoppedMessage});

    host.outcome = RunResult();
    host.outcome.end = RunEnd::failed;
    EXPECT_EQ(start(), StartResult::Failed);
    EXPECT_EQ(tail(3), (Lines{"Starting Number: 7", "", "Finished"}));
    EXPECT_EQ(host.statuses.back(), "Error");
    EXPECT_EQ(host.messages.back(), kErrorMessage);

    EXPECT_TRUE(host.launches.empty());
    EXPECT_EQ(host.ejects, 0);
    EXPECT_EQ(host.beeps, 2);
    EXPECT_EQ(m_prefs.GetStartingNumber(), "7");
    EXPECT_EQ(host.number_box, "7");
}

TEST_F(StartRunTest, AutomaticNumbersTakeTheBoxAndKeepTheNextNumber)
{
    one_card_mounted();
    m_prefs.PutPrefStr("App", "NameFmt", "SAEE");
    host.number_box = "42";
    host.outcome.next_number = 57;
    ASSERT_EQ(start(), StartResult::Succeeded);
    EXPECT_EQ(host.runs.at(0)[17], "42");
    EXPECT_NE(std::find(host.lines.begin(), host.lines.end(), "Starting Number: 42"), host.lines.end());
    EXPECT_EQ(m_prefs.GetStartingNumber(), "57");
    EXPECT_EQ(host.number_box, "57");

    // Without the automatic number the box is left alone and nothing is stored.
    m_prefs.PutPrefStr("App", "NameFmt", "SDNE");
    host.number_box = "99";
    host.outcome.next_number = 60;
    start();
    EXPECT_EQ(host.runs.at(1)[17], "57");
    EXPECT_EQ(m_prefs.GetStartingNumber(), "57");
}

TEST_F(StartRunTest, StartSavesTheSetBeforeAnythingIsCopied)
{
    one_card_mounted();
    m_prefs.PutPrefStr("App", "NamePfx", "TRIP");
    const fs::path file = m_tmp.path() / "config/Main/Default";
    host.during_run = [&] {
        EXPECT_NE(test::read_file(file).find("NamePfx\tTRIP\n"), std::string::npos);
    };
    EXPECT_EQ(start(), StartResult::Succeeded);
    EXPECT_EQ(host.runs.size(), 1u);
}

TEST_F(StartRunTest, ViewerGetsTheLastFolderAndAutoEjectFollows)
{
    one_card_mounted();
    m_prefs.PutPrefStr("App", "ViewerApp", "/usr/bin/gwenview-like");
    m_prefs.PutPrefInt("App", "AutoEject", 1);
    start();
    const std::string folder = in_tmp("primary/2006/2006-02-26");
    ASSERT_EQ(host.launches.size(), 1u);
    EXPECT_EQ(host.launches[0].first, "/usr/bin/gwenview-like");
    EXPECT_EQ(host.launches[0].second, Lines{folder});
    EXPECT_EQ(tail(4), (Lines{"", "Launching /usr/bin/gwenview-like with folder " + folder, "",
                              "Finished"}));
    EXPECT_EQ(host.ejects, 1);

    // A run that placed no images hands no folder; a viewer that cannot start is reported
    // and the run still counts as a success.
    host.outcome.folder.reset();
    host.launch_ok = false;
    EXPECT_EQ(start(), StartResult::Succeeded);
    EXPECT_EQ(host.launches[1].second, Lines{});
    EXPECT_EQ(tail(6), (Lines{"", "Launching /usr/bin/gwenview-like", "", "Can't launch viewer app: /usr/bin/gwenview-like",
                              "", "Finished"}));
    EXPECT_EQ(host.ejects, 2);
}

TEST_F(StartRunTest, UnusableArrangementRunsWithTheDefault)
{
    one_card_mounted();
    m_prefs.PutPrefInt("App", "Arrangement", 5);
    start();
    EXPECT_EQ(host.runs.at(0)[6], "2");
    EXPECT_NE(std::find(host.lines.begin(), host.lines.end(),
                        "    Date Folder(s): Year and Date Folders"),
              host.lines.end());
}

TEST_F(StartRunTest, UserFolderNameComesFromTheWindow)
{
    one_card_mounted();
    m_prefs.PutPrefInt("App", "WantUserFolder", 1);
    host.user_folder = "Smith Wedding";
    start();
    EXPECT_EQ(host.runs.at(0)[16], "DU-");
    EXPECT_EQ(host.runs.at(0)[18], "Smith Wedding");
}

TEST_F(StartRunTest, SecondStartDuringARunIsRefused)
{
    one_card_mounted();
    StartCommand command(m_prefs, host);
    StartResult inner = StartResult::Succeeded;
    host.during_run = [&] { inner = command.OnStart(); };
    EXPECT_EQ(command.OnStart(), StartResult::Succeeded);
    EXPECT_EQ(inner, StartResult::NotStarted);
    EXPECT_EQ(host.runs.size(), 1u);
    // Once the run is over, Start works again.
    host.during_run = nullptr;
    EXPECT_EQ(command.OnStart(), StartResult::Succeeded);
}

}  // namespace
}  // namespace oakvane
