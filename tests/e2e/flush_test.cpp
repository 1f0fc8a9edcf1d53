// Success is reported only after a flush the destination's file system honours: a flush
// call that fails, or one that the file system takes as done without reaching its storage,
// must never let a run end in success.

#include "e2e_support.h"
#include "mounts.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

namespace oakvane::e2e {
namespace {

using Lines = std::vector<std::string>;
using test::list_tree;

constexpr std::time_t kDayOne = cardgen::kDayOne;

class FlushTest : public E2eTest {
protected:
    // Three JPEGs and a raw, kept under their card names in flat trees.
    IngestArgs small_card()
    {
        for (int i = 1; i <= 3; ++i)
            add_jpeg("DCIM/100CANON/IMG_000" + std::to_string(i) + ".JPG", kDayOne + i, i);
        add_raw("DCIM/100CANON/IMG_0004.CR2", kDayOne + 4, 200 * 1024, 4);
        card_done();
        IngestArgs a = args();
        a.fmt = "EEEE";
        return a;
    }
    std::vector<std::string> faults(const std::string& calls, const std::string& match = "")
    {
        return {std::string("LD_PRELOAD=") + SYNC_FAULT_SHIM, "SYNC_FAULT=" + calls,
                "SYNC_FAULT_MATCH=" + match, "SYNC_FAULT_LOG=" + in_tmp("faults.log")};
    }
    // The calls the shim made fail, one line each.
    Lines faults_made() const
    {
        std::istringstream in(test::read_file(tmp() / "faults.log"));
        Lines calls;
        for (std::string line; std::getline(in, line);)
            calls.push_back(line);
        return calls;
    }
    static void expect_write_back_error(const ProcessResult& r, const std::string& named)
    {
        EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
        EXPECT_EQ(r.out.find("SUCCESSFUL INGESTION"), std::string::npos) << r.out;
        const Lines lines = output_lines(r.out);
        ASSERT_GE(lines.size(), 2u) << r.out;
        EXPECT_EQ(lines[lines.size() - 2], "ERROR:") << r.out;
        EXPECT_TRUE(std::regex_match(lines.back(), std::regex("Write-back error: \"" + named +
                                                              "\": Input/output error")))
            << lines.back();
    }
};

bool contains(const Lines& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A device whose cache flush fails: syncfs fails, and so does each file's fsync. Taking the
// failed syncfs as done would publish copies that are not on the disk.
TEST_F(FlushTest, FailingSyncfsFallsBackToEachFilesOwnFlush)
{
    const IngestArgs a = small_card();

    const ProcessResult r = run_copycard(a, faults("syncfs,fsync"));

    expect_write_back_error(r, a.backup + "/IMG_000[1-4]\\.(JPG|CR2)");
    const Lines made = faults_made();
    EXPECT_TRUE(contains(made, "syncfs")) << "the destination was not taken for one honouring syncfs";
    EXPECT_TRUE(contains(made, "fsync"));
    EXPECT_EQ(list_tree(backup()), Lines{});
    expect_card_unchanged();
}

// syncfs succeeds, but one file's write-back failed: only its own error tells.
TEST_F(FlushTest, WriteBackErrorOfOneFileAfterAGoodSyncfsFailsTheRun)
{
    const IngestArgs a = small_card();

    const ProcessResult r = run_copycard(a, faults("sync_file_range"));

    expect_write_back_error(r, a.backup + "/IMG_000[1-4]\\.(JPG|CR2)");
    EXPECT_TRUE(contains(faults_made(), "sync_file_range"));
    EXPECT_EQ(list_tree(backup()), Lines{});
    expect_card_unchanged();
}

// The copies are on the disk but a folder's entries naming them may not be.
TEST_F(FlushTest, FailingFolderFlushFailsTheRun)
{
    small_card();
    IngestArgs a = args();
    a.switches = "-U-";  // the images in a folder "Wedding" of each tree, the histories not

    const ProcessResult r = run_copycard(a, faults("dirfsync", "/Wedding"));

    expect_write_back_error(r, "(" + a.backup + "|" + a.primary + ")/Wedding");
    EXPECT_TRUE(contains(faults_made(), "dirfsync"));
    expect_card_unchanged();
}

// A tmpfs stands for a file system whose syncfs can't be trusted: each file is flushed on
// its own there, and a failing fsync fails the run.
TEST_F(FlushTest, FileSystemWithoutGroupFlushFlushesEachFile)
{
    TmpfsMount disk;
    std::string why;
    if (!disk.mount(tmp() / "disk", 64 << 20, why))
        GTEST_SKIP() << why;
    IngestArgs a = small_card();
    a.backup = (tmp() / "disk/backup").string();

    const ProcessResult r = run_copycard(a, faults("fsync", "/disk/backup/"));

    expect_write_back_error(r, a.backup + "/IMG_000[1-4]\\.(JPG|CR2)");
    const Lines made = faults_made();
    EXPECT_TRUE(contains(made, "fsync"));
    EXPECT_FALSE(contains(made, "syncfs"));
    EXPECT_EQ(list_tree(tmp() / "disk/backup"), Lines{});
    expect_card_unchanged();
}

// Where a rename can't refuse to replace (EINVAL), a name already taken in the tree must
// still not be replaced: the copy gets the next free name.
TEST_F(FlushTest, TakenNameWithoutNoReplaceRenameGetsTheNextFreeName)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", kDayOne, 1);
    card_done();
    IngestArgs a = args();
    a.fmt = "EEEE";
    ASSERT_EQ(run_copycard(a).exit_code, 0);
    const std::size_t first = hash_file(backup() / "IMG_0001.JPG");
    // Another card whose photo has the same name.
    fs::remove_all(card_root());
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", kDayOne, 2);
    card_done();
    a.primary = in_tmp("primary2");
    const std::string log = in_tmp("shim.log");

    const ProcessResult r = run_copycard(
        a, {std::string("LD_PRELOAD=") + RENAMEAT2_EINVAL_SHIM, "RENAMEAT2_SHIM_LOG=" + log});

    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_FALSE(test::read_file(log).empty()) << "the shim was not used";
    EXPECT_EQ(list_tree(backup()), (Lines{"IMG_0001.JPG", "IMG_0001_001.JPG"}));
    EXPECT_EQ(hash_file(backup() / "IMG_0001.JPG"), first) << "the first card's copy was replaced";
    expect_copy_of(backup() / "IMG_0001_001.JPG", "DCIM/100CANON/IMG_0001.JPG");
    expect_card_unchanged();
}

// Every file below root, hidden ones too, with its content hash.
std::map<std::string, std::size_t> files_and_hashes(const fs::path& root)
{
    std::map<std::string, std::size_t> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).string()] = hash_file(entry.path());
    return files;
}

// A destination that loses the end of a write it reported done: with read-back off, the
// size check after the copy is all that stands between it and a short copy under its name.
TEST_F(FlushTest, ShortPrimaryCopyFailsTheRunWithoutReadBack)
{
    for (int i = 1; i <= 3; ++i)
        add_raw("DCIM/100CANON/IMG_000" + std::to_string(i) + ".CR2", kDayOne + i, 100 * 1024, i);
    card_done();
    IngestArgs a = args();
    a.fmt = "EEEE";

    const ProcessResult r = run_copycard(
        a, {std::string("LD_PRELOAD=") + FLIP_BIT_SHIM, "FLIP_BIT_UNDER=" + primary().string(),
            "FLIP_BIT_NTH=2", "FLIP_BIT_SHORT=1", "OAKVANE_READ_BACK=0"});

    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    const Lines lines = output_lines(r.out);
    ASSERT_GE(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[lines.size() - 2], "ERROR:") << r.out;
    EXPECT_EQ(lines.back(), "Written file is wrong size.");
    EXPECT_EQ(list_tree(primary()), Lines{}) << "the copies staged with it stay unpublished";
    expect_only_complete_files(backup());
    expect_card_unchanged();
}

// What a power cut right after the run would leave of the disk image: copied until two
// copies in a row agree (nothing was written meanwhile), with its journal replayed.
std::string power_cut_copy(const fs::path& image, const fs::path& copy)
{
    const fs::path second = copy.string() + ".2";
    for (int tries = 0;; ++tries) {
        if (tries == 10)
            return "the image kept changing";
        fs::copy_file(image, copy, fs::copy_options::overwrite_existing);
        fs::copy_file(image, second, fs::copy_options::overwrite_existing);
        if (test::read_file(copy) == test::read_file(second))
            break;
    }
    fs::remove(second);
    const ProcessResult fsck = test::run_process({"/usr/sbin/e2fsck", "-fy", copy.string()});
    return fsck.exit_code <= 1 ? "" : "e2fsck: " + fsck.out;
}

// On FUSE (bindfs over ext4 here) syncfs and sync_file_range never reach the disk below,
// nor does a folder's fsync when the daemon has none: at success every copy must already be
// on that disk under its final name.
TEST_F(FlushTest, FuseDestinationHoldsEveryCopyOnItsDiskAtSuccess)
{
    if (!fs::exists("/usr/bin/bindfs"))
        GTEST_SKIP() << "bindfs is not installed (scripts/install-deps.sh installs it)";
    const std::string image = in_tmp("disk.img");
    std::ofstream(image).close();
    fs::resize_file(image, 64 << 20);
    const ProcessResult mkfs = test::run_process({"/usr/sbin/mkfs.ext4", "-q", "-F", image});
    ASSERT_EQ(mkfs.exit_code, 0) << mkfs.err;
    test::Mount disk({"-o", "loop", image}, in_tmp("disk"));
    if (!disk.ok())
        GTEST_SKIP() << disk.error();
    test::Mount fuse({"-t", "fuse.bindfs", in_tmp("disk")}, in_tmp("fuse"));
    ASSERT_TRUE(fuse.ok()) << fuse.error();
    IngestArgs a = small_card();
    a.backup = in_tmp("fuse/backup");
    a.primary = in_tmp("fuse/primary");
    a.sidecar = template_path();

    const ProcessResult r = run_copycard(a);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    const std::string cut = in_tmp("cut.img");
    ASSERT_EQ(power_cut_copy(image, cut), "");
    test::Mount after({"-o", "loop,ro", cut}, in_tmp("after"));
    ASSERT_TRUE(after.ok()) << after.error();

    const Lines expected = {"IMG_0001.JPG", "IMG_0001.xmp", "IMG_0002.JPG", "IMG_0002.xmp",
                            "IMG_0003.JPG", "IMG_0003.xmp", "IMG_0004.CR2", "IMG_0004.xmp"};
    for (const char* tree : {"backup", "primary"}) {
        const fs::path root = tmp() / "after" / tree;
        EXPECT_EQ(list_tree(root), expected) << tree;
        expect_only_complete_files(root);
        // The tree's history is written last: its final renames too are on the disk.
        EXPECT_EQ(files_and_hashes(root / "ascmhl"), files_and_hashes(tmp() / "fuse" / tree / "ascmhl"))
            << tree;
    }
    expect_card_unchanged();
}

}  // namespace
}  // namespace oakvane::e2e
