#include "arrangement.h"
#include "recording_host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace oakvane;
namespace fs = std::filesystem;

namespace {

constexpr std::time_t kDayOne = 1150113600;  // 2006-06-12 12:00 UTC
constexpr std::time_t kDayTwo = kDayOne + 86400;

class Arrangement : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::use_host(host);
        run_state().backup_root = root.str();
        run_state().arrangement = "1";
        run_state().arr_switches = "---";
        run_state().user_folder = "Job X Images";
    }
    // The folder of one image, relative to the backup root; its path joins the backup
    // list so that renaming can be checked.
    std::string place(std::time_t when, const std::string& number)
    {
        auto folder = make_image_folder_path(when, number);
        if (!folder)
            return "<null>";
        run_state().arg_vec.push_back(*folder + "/IMG_" + number + ".JPG");
        return fs::relative(*folder, root.path()).string();
    }
    std::string listed(std::size_t i) const
    {
        return fs::relative(run_state().arg_vec.at(i), root.path()).string();
    }
    test::RecordingHost host;
    test::TempDir root;
};

}  // namespace

TEST_F(Arrangement, LevelsFollowTheSwitchesAndDepth)
{
    struct {
        const char* arrangement;
        const char* switches;
        const char* expected;
    } cases[] = {
        {"1", "---", "."},
        {"1", "D--", "2006-06-12"},
        {"2", "D--", "2006/2006-06-12"},
        {"3", "D--", "2006/06/2006-06-12"},
        {"3", "-U-", "Job X Images"},
        {"3", "DU-", "2006/06/2006-06-12/Job X Images"},
        {"3", "du-", "."},  // lower case switches nothing on
    };
    for (const auto& c : cases) {
        run_state().arrangement = c.arrangement;
        run_state().arr_switches = c.switches;
        EXPECT_EQ(place(kDayOne, "0001"), c.expected) << c.arrangement << c.switches;
        EXPECT_TRUE(fs::is_directory(root.path() / c.expected));
    }
}

TEST_F(Arrangement, RangeFoldersGetTheirNumbersAfterThePass)
{
    run_state().arrangement = "3";
    run_state().arr_switches = "DUR";
    EXPECT_EQ(place(kDayOne, "0511"), "2006/06/2006-06-12/Job X Images/0000-0000");
    EXPECT_EQ(place(kDayOne, "0420"), "2006/06/2006-06-12/Job X Images/0000-0000");
    EXPECT_EQ(place(kDayTwo, "0600"), "2006/06/2006-06-13/Job X Images/0000-0000");
    ASSERT_EQ(store_range_rename(), 1);
    EXPECT_EQ(listed(0), "2006/06/2006-06-12/Job X Images/0420-0511/IMG_0511.JPG");
    EXPECT_EQ(listed(1), "2006/06/2006-06-12/Job X Images/0420-0511/IMG_0420.JPG");
    EXPECT_EQ(listed(2), "2006/06/2006-06-13/Job X Images/0600-0600/IMG_0600.JPG");
    EXPECT_TRUE(fs::is_directory(root.path() / "2006/06/2006-06-12/Job X Images/0420-0511"));
    EXPECT_FALSE(fs::exists(root.path() / "2006/06/2006-06-12/Job X Images/0000-0000"));
}

TEST_F(Arrangement, LeftoverPlaceholderIsSteppedOverAndKept)
{
    run_state().arr_switches = "D-R";
    fs::create_directories(root.path() / "2006-06-12/0000-0000");
    test::write_file(root.path() / "2006-06-12/0000-0000/old.JPG", "old");
    EXPECT_EQ(place(kDayOne, "0003"), "2006-06-12/0000-0001");
    EXPECT_EQ(place(kDayOne, "0004"), "2006-06-12/0000-0001");  // recorded in this run
    ASSERT_EQ(store_range_rename(), 1);
    EXPECT_EQ(listed(1), "2006-06-12/0003-0004/IMG_0004.JPG");
    EXPECT_EQ(test::read_file(root.path() / "2006-06-12/0000-0000/old.JPG"), "old");
}

TEST_F(Arrangement, TakenRangeNamesGetALetter)
{
    run_state().arr_switches = "D-R";
    fs::create_directories(root.path() / "2006-06-12/0001-0010");
    place(kDayOne, "0001");
    place(kDayOne, "0010");
    ASSERT_EQ(store_range_rename(), 1);
    EXPECT_EQ(listed(0), "2006-06-12/0001-0010a/IMG_0001.JPG");

    // Without numbers the final name is the placeholder's own, so it is taken too.
    store_range_reset();
    run_state().arg_vec.clear();
    run_state().arr_switches = "--R";
    place(kDayOne, "0000");
    ASSERT_EQ(store_range_rename(), 1);
    EXPECT_EQ(listed(0), "0000-0000a/IMG_0000.JPG");
}

TEST_F(Arrangement, RenameNeverReplacesAFolder)
{
    run_state().arr_switches = "--R";
    fs::create_directories(root.path() / "0005-0005");
    for (char letter = 'a'; letter <= 'z'; ++letter)
        fs::create_directories(root.path() / (std::string("0005-0005") + letter));
    place(kDayOne, "0005");
    EXPECT_EQ(store_range_rename(), 0);
    EXPECT_NE(run_state().last_error.find("Can't rename number-range dir"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(root.path() / "0000-0000"));  // the images stay where they are
}

TEST_F(Arrangement, FolderFailuresAreRecorded)
{
    run_state().arr_switches = "-U-";
    run_state().user_folder = "a/b";  // only the last level is created
    EXPECT_EQ(place(kDayOne, "0001"), "<null>");
    EXPECT_EQ(run_state().last_error, "can't mk user-named dir");

    run_state().arr_switches = "D--";
    test::write_file(root.path() / "blocker", "");
    run_state().backup_root = root / "blocker";
    EXPECT_EQ(place(kDayOne, "0001"), "<null>");
    EXPECT_EQ(run_state().last_error, "can't mk date dir");
}
