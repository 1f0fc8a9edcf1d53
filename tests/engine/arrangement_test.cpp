#include "arrangement.h"
#include "recording_host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>

using namespace oakvane;
namespace fs = std::filesystem;

namespace {

constexpr std::time_t kDayOne = 1150113600;  // 2006-06-12 12:00 UTC
constexpr std::time_t kDayTwo = kDayOne + 86400;

// The request the copy command makes of its arrangement and switch arguments.
RunRequest arranged(const RunRequest& base, const char* arrangement, const char* switches)
{
    std::array<std::string, 19> args = copy_arguments(base);
    args[6] = arrangement;
    args[16] = switches;
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    Failure refused;
    bool misuse = false;
    const std::optional<RunRequest> request =
        parse_copy_arguments(static_cast<int>(argv.size()), argv.data(), refused, misuse);
    EXPECT_TRUE(request) << refused.message;
    return request.value_or(base);
}

class Arrangement : public ::testing::Test {
protected:
    void SetUp() override
    {
        request.backup_folder = root.str();
        request.user_folder_name = "Job X Images";
        start();
    }
    // A fresh run with the request as it is now.
    void start() { step.emplace(request); }
    oakvane::Run& run() { return step->run; }
    // The folder of one image, relative to the backup root; its path joins the backup
    // list so that renaming can be checked.
    std::string place(std::time_t when, const std::string& number)
    {
        std::string folder;
        placed = make_image_folder_path(run(), when, number, folder);
        if (!placed)
            return "<null>";
        run().backups.push_back(folder + "/IMG_" + number + ".JPG");
        return fs::relative(folder, root.path()).string();
    }
    std::string listed(std::size_t i) { return fs::relative(run().backups.at(i), root.path()).string(); }

    test::TempDir root;
    RunRequest request;
    std::optional<test::StepRun> step;
    Status placed;
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
        step.emplace(arranged(request, c.arrangement, c.switches));
        EXPECT_EQ(place(kDayOne, "0001"), c.expected) << c.arrangement << c.switches;
        EXPECT_TRUE(fs::is_directory(root.path() / c.expected));
    }
}

TEST_F(Arrangement, RangeFoldersGetTheirNumbersAfterThePass)
{
    request.date_depth = 3;
    request.date_folders = request.user_folder = request.range_folders = true;
    start();
    EXPECT_EQ(place(kDayOne, "0511"), "2006/06/2006-06-12/Job X Images/0000-0000");
    EXPECT_EQ(place(kDayOne, "0420"), "2006/06/2006-06-12/Job X Images/0000-0000");
    EXPECT_EQ(place(kDayTwo, "0600"), "2006/06/2006-06-13/Job X Images/0000-0000");
    ASSERT_TRUE(rename_range_folders(run()));
    EXPECT_EQ(listed(0), "2006/06/2006-06-12/Job X Images/0420-0511/IMG_0511.JPG");
    EXPECT_EQ(listed(1), "2006/06/2006-06-12/Job X Images/0420-0511/IMG_0420.JPG");
    EXPECT_EQ(listed(2), "2006/06/2006-06-13/Job X Images/0600-0600/IMG_0600.JPG");
    EXPECT_TRUE(fs::is_directory(root.path() / "2006/06/2006-06-12/Job X Images/0420-0511"));
    EXPECT_FALSE(fs::exists(root.path() / "2006/06/2006-06-12/Job X Images/0000-0000"));
}

TEST_F(Arrangement, LeftoverPlaceholderIsSteppedOverAndKept)
{
    request.date_folders = request.range_folders = true;
    start();
    fs::create_directories(root.path() / "2006-06-12/0000-0000");
    test::write_file(root.path() / "2006-06-12/0000-0000/old.JPG", "old");
    EXPECT_EQ(place(kDayOne, "0003"), "2006-06-12/0000-0001");
    EXPECT_EQ(place(kDayOne, "0004"), "2006-06-12/0000-0001");  // recorded in this run
    ASSERT_TRUE(rename_range_folders(run()));
    EXPECT_EQ(listed(1), "2006-06-12/0003-0004/IMG_0004.JPG");
    EXPECT_EQ(test::read_file(root.path() / "2006-06-12/0000-0000/old.JPG"), "old");
}

TEST_F(Arrangement, TakenRangeNamesGetALetter)
{
    request.date_folders = request.range_folders = true;
    start();
    fs::create_directories(root.path() / "2006-06-12/0001-0010");
    place(kDayOne, "0001");
    place(kDayOne, "0010");
    ASSERT_TRUE(rename_range_folders(run()));
    EXPECT_EQ(listed(0), "2006-06-12/0001-0010a/IMG_0001.JPG");

    // Without numbers the final name is the placeholder's own, so it is taken too.
    request.date_folders = false;
    start();
    place(kDayOne, "0000");
    ASSERT_TRUE(rename_range_folders(run()));
    EXPECT_EQ(listed(0), "0000-0000a/IMG_0000.JPG");
}

TEST_F(Arrangement, RenameNeverReplacesAFolder)
{
    request.range_folders = true;
    start();
    fs::create_directories(root.path() / "0005-0005");
    for (char letter = 'a'; letter <= 'z'; ++letter)
        fs::create_directories(root.path() / (std::string("0005-0005") + letter));
    place(kDayOne, "0005");
    const Status renamed = rename_range_folders(run());
    ASSERT_FALSE(renamed);
    EXPECT_NE(renamed.failure().message.find("Can't rename number-range dir"), std::string::npos);
    EXPECT_TRUE(renamed.failure().err == EEXIST || renamed.failure().err == ENOTEMPTY)
        << renamed.failure().text();
    EXPECT_TRUE(fs::is_directory(root.path() / "0000-0000"));  // the images stay where they are
}

TEST_F(Arrangement, FolderFailuresAreRecorded)
{
    request.user_folder = true;
    request.user_folder_name = "a/b";  // only the last level is created
    start();
    EXPECT_EQ(place(kDayOne, "0001"), "<null>");
    EXPECT_EQ(placed.failure().message, "can't mk user-named dir");
    EXPECT_EQ(placed.failure().path, root / "a/b");
    EXPECT_EQ(placed.failure().err, ENOENT);

    test::write_file(root.path() / "blocker", "");
    request.user_folder = false;
    request.date_folders = true;
    request.backup_folder = root / "blocker";
    start();
    EXPECT_EQ(place(kDayOne, "0001"), "<null>");
    EXPECT_EQ(placed.failure().message, "can't mk date dir");
    EXPECT_EQ(placed.failure().path, root / "blocker/2006-06-12");
    EXPECT_EQ(placed.failure().err, ENOTDIR);
}
