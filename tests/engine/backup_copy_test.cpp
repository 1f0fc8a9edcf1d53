#include "backup_copy.h"
#include "recording_host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>
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
        request.card_folder = (dir.path() / "card").string();
        request.backup_folder = (dir.path() / "backup").string();
        fs::create_directories(request.card_folder);
        fs::create_directories(request.backup_folder);
        request.date_folders = true;
        request.name_format = "EEEE";
        request.starting_number = 1;
        start();
    }
    // A fresh run with the request as it is now.
    void start() { step.emplace(request); }
    oakvane::Run& run() { return step->run; }
    test::RecordingHost& host() { return step->host; }

    std::string card_file(const std::string& name, const std::string& content)
    {
        const fs::path path = dir.path() / "card" / name;
        test::write_file(path, content);
        return path.string();
    }
    // The card entry of path as a listing saw it, with seen as its status.
    CardItem item(const std::string& path, const struct stat& seen) const
    {
        CardItem item;
        item.path = path;
        item.relative = fs::path(path).lexically_relative(request.card_folder).string();
        item.st = seen;
        item.type = posix::EntryType::file;
        item.level = 1;
        return item;
    }
    Status backup(const std::string& path, std::int64_t size = -1)
    {
        struct stat st;
        ::stat(path.c_str(), &st);
        st.st_mtim = {kDayOne, 123456789};
        if (size >= 0)
            st.st_size = size;
        return safe_copy_backup(run(), item(path, st));
    }
    fs::path backed_up(const std::string& name) const
    {
        return fs::path(request.backup_folder) / "2006-06-12" / name;
    }
    test::TempDir dir;
    RunRequest request;
    std::optional<test::StepRun> step;
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
        ASSERT_TRUE(backup(card_file(name, content))) << name;
        const fs::path copy = backed_up(name);
        EXPECT_EQ(test::read_file(copy), content) << name;
        struct stat st;
        ASSERT_EQ(::stat(copy.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_sec, kDayOne);
        EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
        EXPECT_EQ(run().backups.back(), copy.string());
    }
    EXPECT_EQ(host().steps, 3);
}

TEST_F(BackupCopy, TakenNamesGetSequenceNumbers)
{
    const std::string first = card_file("a/IMG_0001.JPG", "one");
    const std::string second = card_file("b/IMG_0001.JPG", "two");
    ASSERT_TRUE(backup(first));
    ASSERT_TRUE(backup(second));
    EXPECT_EQ(test::read_file(backed_up("IMG_0001.JPG")), "one");
    EXPECT_EQ(test::read_file(backed_up("IMG_0001_001.JPG")), "two");
}

TEST_F(BackupCopy, SequenceNumbersRunOutAfter999)
{
    fs::create_directories(backed_up(""));
    test::write_file(backed_up("IMG_0001.JPG"), "taken");
    for (int n = 1; n < 999; ++n)
        test::write_file(sequence_path(backed_up("IMG_0001.JPG"), n), "taken");

    ASSERT_TRUE(backup(card_file("IMG_0001.JPG", "last")));
    EXPECT_EQ(test::read_file(backed_up("IMG_0001_999.JPG")), "last");

    const Status full = backup(card_file("IMG_0001.JPG", "new"));
    ASSERT_FALSE(full);
    EXPECT_EQ(full.failure().message, "creat error");
    EXPECT_EQ(full.failure().path, backed_up("IMG_0001.JPG").string());
    EXPECT_EQ(test::read_file(backed_up("IMG_0001.JPG")), "taken");
}

TEST_F(BackupCopy, FailuresLeaveNoUnfinishedFile)
{
    // The size check: a card file that is not the size the walk saw.
    Status copied = backup(card_file("IMG_0001.CR2", "12345"), 4);
    ASSERT_FALSE(copied);
    EXPECT_EQ(copied.failure().message, "safe_copy_backup: size error");
    EXPECT_FALSE(fs::exists(backed_up("IMG_0001.CR2")));

    // A card file that went away after the walk saw it.
    struct stat gone {};
    gone.st_size = 1;
    gone.st_mtim = {kDayOne, 0};
    const std::string gone_path = (dir.path() / "card/gone.JPG").string();
    copied = safe_copy_backup(run(), item(gone_path, gone));
    ASSERT_FALSE(copied);
    EXPECT_EQ(copied.failure().message, "can't open");
    EXPECT_EQ(copied.failure().path, gone_path);
    EXPECT_EQ(copied.failure().err, ENOENT);
    EXPECT_FALSE(fs::exists(backed_up("gone.JPG")));

    // A card file replaced by another after the walk saw it.
    const std::string swapped = card_file("IMG_0005.JPG", "jpeg");
    struct stat seen;
    ASSERT_EQ(::stat(swapped.c_str(), &seen), 0);
    fs::create_hard_link(swapped, dir.path() / "kept");  // so its inode is not reused
    fs::remove(swapped);
    card_file("IMG_0005.JPG", "other");
    copied = safe_copy_backup(run(), item(swapped, seen));
    ASSERT_FALSE(copied);
    EXPECT_EQ(copied.failure().message, "Card file changed during the run: \"" + swapped + "\"");
    EXPECT_FALSE(fs::exists(backed_up("IMG_0005.JPG")));
    EXPECT_TRUE(run().backups.empty());
    EXPECT_TRUE(test::list_tree(request.backup_folder).empty());  // nor any staging file
}

TEST_F(BackupCopy, StopDuringALargeFileRemovesThePartialCopy)
{
    const std::string big = card_file("BIG.CR2", std::string(3 * 1048576, 'r'));
    host().on_stop_poll = [](test::RecordingHost& h) { h.stop = h.stop_polls > 2; };
    const Status copied = backup(big);
    ASSERT_FALSE(copied);
    EXPECT_EQ(copied.failure().message, "Stopped");
    EXPECT_FALSE(fs::exists(backed_up("BIG.CR2")));
    EXPECT_EQ(test::read_file(big).size(), 3u * 1048576);  // the card is untouched
}

TEST_F(BackupCopy, SidecarIsMadeWithTheBackupAndGoesWithAFailedOne)
{
    request.sidecar_template = (dir.path() / "template.xmp").string();
    test::write_file(request.sidecar_template, "<x:xmpmeta/>");
    start();
    ASSERT_TRUE(backup(card_file("IMG_0001.JPG", "jpeg")));
    EXPECT_EQ(test::read_file(backed_up("IMG_0001.xmp")), "<x:xmpmeta/>");
    EXPECT_EQ(run().sidecars.size(), 1u);

    EXPECT_FALSE(backup(card_file("IMG_0002.JPG", "jpeg"), 99));
    EXPECT_FALSE(fs::exists(backed_up("IMG_0002.JPG")));
    EXPECT_FALSE(fs::exists(backed_up("IMG_0002.xmp")));
}

TEST_F(BackupCopy, VisitorSkipsHiddenFilesAndFolders)
{
    const std::string card = request.card_folder;
    struct stat st {};
    auto entry = [&](const std::string& name, posix::EntryType type) {
        return CardItem{card + "/" + name, name, st, type, 1};
    };
    EXPECT_TRUE(backup_visit(run(), entry(".hidden", posix::EntryType::file)));
    EXPECT_TRUE(backup_visit(run(), entry("DCIM", posix::EntryType::directory)));
    EXPECT_TRUE(run().backups.empty());
    const Status missing = backup_visit(run(), entry("missing.JPG", posix::EntryType::file));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.failure().message, "can't open");
}
