#include "backup_copy.h"
#include "recording_host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace oakvane;
namespace fs = std::filesystem;

namespace {

constexpr std::time_t kDayOne = 1150113600;

class BackupCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::use_host(host);
        RunState& run = run_state();
        run.backup_root = (dir.path() / "backup").string();
        fs::create_directories(run.backup_root);
        run.arrangement = "1";
        run.arr_switches = "D--";
        run.fmt = "EEEE";
        run.running_number = 1;
    }
    std::string card_file(const std::string& name, const std::string& content)
    {
        const fs::path path = dir.path() / "card" / name;
        test::write_file(path, content);
        return path.string();
    }
    int backup(const std::string& path, std::int64_t size = -1)
    {
        struct stat st;
        ::stat(path.c_str(), &st);
        st.st_mtim = {kDayOne, 123456789};
        if (size >= 0)
            st.st_size = size;
        return safe_copy_backup(path, fs::path(path).filename(), st);
    }
    fs::path backed_up(const std::string& name) const
    {
        return fs::path(run_state().backup_root) / "2006-06-12" / name;
    }
    test::RecordingHost host;
    test::TempDir dir;
};

}  // namespace

TEST(SequencePath, GoesBeforeAThreeLetterExtensionOnly)
{
    EXPECT_EQ(sequence_path("/b/DSC_0001.NEF", 1), "/b/DSC_0001_001.NEF");
    EXPECT_EQ(sequence_path("/b/DSC_0001.NEF", 999), "/b/DSC_0001_999.NEF");
    EXPECT_EQ(sequence_path("/b/clip.jpeg", 1), "/b/clip.jpeg_001");
    EXPECT_EQ(sequence_path("/b/README", 2), "/b/README_002");
    EXPECT_EQ(sequence_path("/b.xyz/README", 2), "/b.xyz/README_002");  // never the folder's dot
}

TEST_F(BackupCopy, CopiesWithTimeSizeAndListEntry)
{
    const std::string one_mib(1048576, 'x');
    for (const auto& [name, content] : {std::pair{"EMPTY.JPG", std::string()},
                                        std::pair{"EXACT.CR2", one_mib},
                                        std::pair{"MORE.CR2", one_mib + "tail"}}) {
        ASSERT_EQ(backup(card_file(name, content)), 1) << name;
        const fs::path copy = backed_up(name);
        EXPECT_EQ(test::read_file(copy), content) << name;
        struct stat st;
        ASSERT_EQ(::stat(copy.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_sec, kDayOne);
        EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
        EXPECT_EQ(run_state().arg_vec.back(), copy.string());
    }
    EXPECT_EQ(host.steps, 3);
}

TEST_F(BackupCopy, TakenNamesGetSequenceNumbers)
{
    const std::string first = card_file("a/IMG_0001.JPG", "one");
    const std::string second = card_file("b/IMG_0001.JPG", "two");
    ASSERT_EQ(backup(first), 1);
    ASSERT_EQ(backup(second), 1);
    EXPECT_EQ(test::read_file(backed_up("IMG_0001.JPG")), "one");
    EXPECT_EQ(test::read_file(backed_up("IMG_0001_001.JPG")), "two");
}

TEST_F(BackupCopy, SequenceNumbersRunOutAfter999)
{
    fs::create_directories(backed_up(""));
    test::write_file(backed_up("IMG_0001.JPG"), "taken");
    for (int n = 1; n < 999; ++n)
        test::write_file(sequence_path(backed_up("IMG_0001.JPG"), n), "taken");

    ASSERT_EQ(backup(card_file("IMG_0001.JPG", "last")), 1);
    EXPECT_EQ(test::read_file(backed_up("IMG_0001_999.JPG")), "last");

    EXPECT_EQ(backup(card_file("IMG_0001.JPG", "new")), 0);
    EXPECT_EQ(run_state().last_error, "creat error");
    EXPECT_EQ(test::read_file(backed_up("IMG_0001.JPG")), "taken");
}

TEST_F(BackupCopy, FailuresLeaveNoUnfinishedFile)
{
    // The size check: a card file that is not the size the walk saw.
    EXPECT_EQ(backup(card_file("IMG_0001.CR2", "12345"), 4), 0);
    EXPECT_EQ(run_state().last_error, "safe_copy_backup: size error");
    EXPECT_FALSE(fs::exists(backed_up("IMG_0001.CR2")));

    // A card file that went away after the walk saw it.
    struct stat gone {};
    gone.st_size = 1;
    gone.st_mtim = {kDayOne, 0};
    EXPECT_EQ(safe_copy_backup((dir.path() / "card/gone.JPG").string(), "gone.JPG", gone), 0);
    EXPECT_EQ(run_state().last_error, "can't open");
    EXPECT_FALSE(fs::exists(backed_up("gone.JPG")));

    // A card file replaced by another after the walk saw it.
    const std::string swapped = card_file("IMG_0005.JPG", "jpeg");
    struct stat seen;
    ASSERT_EQ(::stat(swapped.c_str(), &seen), 0);
    fs::create_hard_link(swapped, dir.path() / "kept");  // so its inode is not reused
    fs::remove(swapped);
    card_file("IMG_0005.JPG", "other");
    EXPECT_EQ(safe_copy_backup(swapped, "IMG_0005.JPG", seen), 0);
    EXPECT_EQ(run_state().last_error, "Card file changed during the run: \"" + swapped + "\"");
    EXPECT_FALSE(fs::exists(backed_up("IMG_0005.JPG")));
    EXPECT_TRUE(run_state().arg_vec.empty());
}

TEST_F(BackupCopy, StopDuringALargeFileRemovesThePartialCopy)
{
    const std::string big = card_file("BIG.CR2", std::string(3 * 1048576, 'r'));
    host.on_stop_poll = [](test::RecordingHost& h) { h.stop = h.stop_polls > 2; };
    EXPECT_EQ(backup(big), 0);
    EXPECT_EQ(run_state().last_error, "Stopped");
    EXPECT_FALSE(fs::exists(backed_up("BIG.CR2")));
    EXPECT_EQ(test::read_file(big).size(), 3u * 1048576);  // the card is untouched
}

TEST_F(BackupCopy, SidecarIsMadeWithTheBackupAndGoesWithAFailedOne)
{
    run_state().sidecar_path = (dir.path() / "template.xmp").string();
    test::write_file(run_state().sidecar_path, "<x:xmpmeta/>");
    ASSERT_EQ(backup(card_file("IMG_0001.JPG", "jpeg")), 1);
    EXPECT_EQ(test::read_file(backed_up("IMG_0001.xmp")), "<x:xmpmeta/>");
    EXPECT_EQ(run_state().sidecars.size(), 1u);

    EXPECT_EQ(backup(card_file("IMG_0002.JPG", "jpeg"), 99), 0);
    EXPECT_FALSE(fs::exists(backed_up("IMG_0002.JPG")));
    EXPECT_FALSE(fs::exists(backed_up("IMG_0002.xmp")));
}

TEST_F(BackupCopy, VisitorSkipsHiddenFilesAndFolders)
{
    struct stat st {};
    EXPECT_EQ(backup_visit({"/card/.hidden", st, posix::EntryType::file, 6, 1}), 0);
    EXPECT_EQ(backup_visit({"/card/DCIM", st, posix::EntryType::directory, 6, 1}), 0);
    EXPECT_TRUE(run_state().arg_vec.empty());
    EXPECT_EQ(backup_visit({"/card/missing.JPG", st, posix::EntryType::file, 6, 1}), -1);
}
