// What survives a crash, a power cut or a failing disk: a file appears under an image's or
// a sidecar's name only once it is whole and on stable storage, success is reported only
// once everything is, and a write-back error fails the run naming the file.

#include "e2e_support.h"
#include "mounts.h"

#include <csignal>
#include <fstream>
#include <regex>
#include <thread>

namespace oakvane::e2e {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using test::list_tree;

constexpr std::time_t kDayOne = cardgen::kDayOne;

bool is_staging(const fs::path& path) { return path.filename().string().starts_with(".oakvane-part-"); }

class DurabilityTest : public E2eTest {
protected:
    IngestArgs flat_args() const
    {
        IngestArgs a = args();
        a.fmt = "EEEE";
        return a;
    }
    // Images in number-range folders at the root of each tree.
    IngestArgs range_args() const
    {
        IngestArgs a = args();
        a.fmt = "SAEE";  // IMG and the run's number, which names the range folder
        a.switches = "--R";
        return a;
    }
    // Entries below root a photographer did not put there and no finished run leaves:
    // staging files and folders, and folders holding nothing.
    static Lines leftovers(const fs::path& root)
    {
        Lines found;
        for (const auto& e : fs::recursive_directory_iterator(root))
            if (is_staging(e.path()) || (e.is_directory() && fs::is_empty(e.path())))
                found.push_back(fs::relative(e.path(), root).string());
        return found;
    }
};

// kill -9 while a large file is being copied: no file under a final name is short, and the
// next run succeeds and removes the staging file the killed one left.
TEST_F(DurabilityTest, KilledRunLeavesNoShortFileAndTheNextRunCleansUp)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", kDayOne);
    add_sparse("DCIM/100CANON/MVI_0002.MOV", kDayOne + 4, 300u << 20);
    card_done();

    test::Process run(flat_args().argv(), copycard_env());
    ASSERT_TRUE(wait_for(
        run,
        [&] {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(backup(), ec))
                if (is_staging(e.path()) && fs::file_size(e.path(), ec) > (1u << 20) && !ec)
                    return true;
            return false;
        },
        30s))
        << "the movie's copy never started";
    run.send_signal(SIGKILL);
    run.wait();

    for (const std::string& rel : list_tree(backup()))
        EXPECT_TRUE(is_staging(rel)) << rel << " under its final name after the kill";
    EXPECT_FALSE(fs::exists(primary()));

    const ProcessResult r = run_copycard(flat_args());
    EXPECT_EQ(r.exit_code, 0) << r.err;
    for (const fs::path& root : {backup(), primary()})
        EXPECT_EQ(list_tree(root), (Lines{"IMG_0001.JPG", "MVI_0002.MOV"})) << root;
    expect_only_complete_files(backup());
    expect_card_unchanged();
}

// kill -9 during the backup copy leaves the range folder placeholder holding only a staging
// file; the next run removes it and leaves only its own range.
TEST_F(DurabilityTest, RangeFolderAKilledRunLeftIsRemovedByTheNextRun)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", kDayOne);
    add_sparse("DCIM/100CANON/MVI_0002.MOV", kDayOne + 4, 300u << 20);
    card_done();
    const fs::path placeholder = backup() / "0000-0000";

    test::Process run(range_args().argv(), copycard_env());
    ASSERT_TRUE(wait_for(
        run,
        [&] {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(placeholder, ec))
                if (is_staging(e.path()) && fs::file_size(e.path(), ec) > (1u << 20) && !ec)
                    return true;
            return false;
        },
        30s))
        << "the movie's copy never started";
    run.send_signal(SIGKILL);
    run.wait();
    ASSERT_EQ(leftovers(backup()).size(), 1u) << "the kill left no staging file";

    const ProcessResult r = run_copycard(range_args());

    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    for (const fs::path& root : {backup(), primary()}) {
        const Lines files = list_tree(root);
        EXPECT_EQ(files.size(), 2u) << root;
        for (const std::string& rel : files)
            EXPECT_TRUE(rel.starts_with("0001-0002/IMG_000")) << rel;
        EXPECT_EQ(leftovers(root), Lines{}) << root;
    }
    expect_card_unchanged();
}

// A run killed between making its range folder and staging its first file leaves the folder
// empty: the next run takes it over rather than stepping over it for good.
TEST_F(DurabilityTest, EmptyRangeFolderPlaceholderIsTakenOver)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", kDayOne);
    card_done();
    fs::create_directories(backup() / "0000-0000");

    const ProcessResult r = run_copycard(range_args());

    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(list_tree(backup()), Lines{"0001-0001/IMG_0001.JPG"});
    EXPECT_EQ(leftovers(backup()), Lines{});
}

// kill -9 while the converter works leaves its scratch folder in a primary range folder the
// next run does not write into (the backup range of the killed run was finished, so the
// next one gets another name); the next run removes it all the same.
TEST_F(DurabilityTest, ConverterScratchAKilledRunLeftIsRemovedByTheNextRun)
{
    for (int i = 1; i <= 2; ++i)
        add_raw("DCIM/100CANON/IMG_000" + std::to_string(i) + ".CR2", kDayOne + i, 30 * 1024, i);
    // A range folder of the photographer's where a dead run left a staging file.
    test::write_file(primary() / "0003-0004/notes.txt", "mine");
    test::write_file(primary() / "0003-0004/.oakvane-part-1-1", "dead");
    card_done();
    IngestArgs a = range_args();
    a.converter = STANDIN_CONVERTER;
    const fs::path child_file = tmp() / "helper.pid";

    test::Process run(a.argv(), copycard_env({"STANDIN_CONVERTER_DELAY_MS=3000",
                                              "STANDIN_CONVERTER_CHILD=" + child_file.string()}));
    ASSERT_TRUE(wait_for(run, [&] { return read_pid(child_file) > 0; }, 30s)) << "the converter never started";
    const pid_t converter = parent_of(read_pid(child_file));
    run.send_signal(SIGKILL);
    run.wait();
    for (int i = 0; i < 200 && !process_gone(converter); ++i)
        std::this_thread::sleep_for(10ms);
    ::kill(read_pid(child_file), SIGKILL);
    ASSERT_TRUE(process_gone(converter));
    const Lines left = leftovers(primary());
    ASSERT_FALSE(left.empty()) << "the kill left no scratch folder";

    const ProcessResult r = run_copycard(a);

    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(list_tree(primary()),
              (Lines{"0001-0002a/IMG_0001.dng", "0001-0002a/IMG_0002.dng", "0003-0004/notes.txt"}));
    EXPECT_EQ(leftovers(primary()), Lines{});
    expect_card_unchanged();
}

// The backup disk is an ext4 image on a tmpfs too small for it: every write fits in the
// page cache, the write-back to the disk fails.
TEST_F(DurabilityTest, WriteBackErrorFailsTheRunNamingTheFile)
{
    TmpfsMount small;
    std::string why;
    if (!small.mount(tmp() / "small", 6 << 20, why))
        GTEST_SKIP() << why;
    const std::string image = (tmp() / "small/disk.img").string();
    const test::ProcessResult mkfs = test::run_process(
        {"/usr/sbin/mkfs.ext4", "-q", "-F", "-O", "^has_journal", "-E", "nodiscard", image, "64M"});
    if (mkfs.exit_code != 0)
        GTEST_SKIP() << "mkfs.ext4: " << mkfs.err;
    test::Mount disk({"-o", "loop", image}, (tmp() / "disk").string());
    if (!disk.ok())
        GTEST_SKIP() << disk.error();
    for (int i = 1; i <= 4; ++i)
        add_raw("DCIM/100CANON/IMG_000" + std::to_string(i) + ".CR2", kDayOne + i, 4 << 20, i);
    card_done();
    IngestArgs a = flat_args();
    a.backup = (tmp() / "disk/backup").string();

    const ProcessResult r = run_copycard(a);

    EXPECT_EQ(r.exit_code, 1) << r.out;
    const Lines lines = output_lines(r.out);
    ASSERT_GE(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[lines.size() - 2], "ERROR:");
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex("Write-back error: \"" + a.backup +
                                                          "/IMG_000[1-4]\\.CR2\": [A-Za-z /]+")))
        << lines.back();
    EXPECT_EQ(r.out.find("SUCCESSFUL INGESTION"), std::string::npos);
    expect_card_unchanged();
}

// Where a rename can't refuse to replace (EINVAL), files are published by link and unlink
// and range folders by making the final folder first; a second run still replaces nothing.
TEST_F(DurabilityTest, FileSystemWithoutNoReplaceRenameStillNeverReplaces)
{
    make_card(cardgen::preset("demo"));
    const std::string log = in_tmp("shim.log");
    IngestArgs a = args();
    a.switches = "-UR";
    a.sidecar = template_path();
    const std::vector<std::string> env = {std::string("LD_PRELOAD=") + RENAMEAT2_EINVAL_SHIM,
                                          "RENAMEAT2_SHIM_LOG=" + log};

    const ProcessResult first = run_copycard(a, env);
    ASSERT_EQ(first.exit_code, 0) << first.err;
    EXPECT_FALSE(test::read_file(log).empty()) << "the shim was not used";
    const TreeState before = snapshot(backup());
    // Without its history the backup tree knows nothing of the first run, whose names the
    // second run's copies then all want.
    fs::remove_all(backup() / "ascmhl");
    a.primary = in_tmp("primary2");
    const ProcessResult second = run_copycard(a, env);

    EXPECT_EQ(second.exit_code, 0) << second.err;
    std::size_t first_files = 0;
    for (const auto& [rel, state] : before) {
        // The tree's history grows by a generation a run; its own tests look at it.
        if (state.directory || rel.starts_with("ascmhl/"))
            continue;
        ++first_files;
        EXPECT_EQ(hash_file(backup() / rel), state.hash) << rel;
    }
    const Lines files = list_tree(backup());
    EXPECT_EQ(files.size(), 2 * first_files);
    for (const std::string& rel : files) {
        EXPECT_FALSE(is_staging(rel)) << rel;
        EXPECT_TRUE(rel.starts_with("Wedding/0001-0007/") || rel.starts_with("Wedding/0001-0007a/")) << rel;
    }
    expect_only_complete_files(backup());
    expect_only_complete_files(primary());
    expect_card_unchanged();
}

}  // namespace
}  // namespace oakvane::e2e
