// A card ingested again adds nothing to either tree, and a retry after a failed run finishes
// it under the names the first run gave, without sequence-numbered copies. A copy that
// changed since it was made is never trusted.

#include "e2e_support.h"

#include <algorithm>
#include <fstream>
#include <regex>

namespace oakvane::e2e {
namespace {

using Lines = std::vector<std::string>;

bool has_line(const Lines& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Every entry of a tree with its size, content and time.
Lines state(const TreeState& tree)
{
    Lines lines;
    for (const auto& [path, entry] : tree)
        lines.push_back(path + " " + std::to_string(entry.size) + " " + std::to_string(entry.hash) +
                        " " + std::to_string(entry.mtime_ns));
    return lines;
}

// Files whose name carries a sequence number ("_001" before the extension).
Lines sequence_numbered(const fs::path& root)
{
    Lines found;
    for (const std::string& file : test::list_tree(root))
        if (std::regex_search(file, std::regex("_[0-9]{3}(\\.[^./]+)?$")))
            found.push_back(file);
    return found;
}

class ReingestTest : public E2eTest {
protected:
    void SetUp() override
    {
        add_jpeg("DCIM/100CANON/IMG_0001.JPG", cardgen::kDayOne, 1);
        add_raw("DCIM/100CANON/IMG_0002.CR2", cardgen::kDayOne + 1, 5000, 2);
        add_jpeg("DCIM/100CANON/IMG_0003.JPG", cardgen::kDayTwo, 3);
        add_raw("DCIM/100CANON/IMG_0004.CR2", cardgen::kDayTwo + 1, 6000, 4);
        card_done();
    }
    // Converting into day folders, named by the automatic number: "IMG_0007.JPG" from
    // starting number 7.
    IngestArgs numbered(int starting) const
    {
        IngestArgs a = args();
        a.converter = STANDIN_CONVERTER;
        a.fmt = "SAEE";
        a.switches = "D--";
        a.starting = std::to_string(starting);
        return a;
    }
};

TEST_F(ReingestTest, SecondIngestionOfTheSameCardAddsNothing)
{
    const ProcessResult first = run_copycard(numbered(7));
    ASSERT_EQ(first.exit_code, 0) << first.out << first.err;
    // A picture culled from the primary tree stays culled.
    const Lines placed = files_with_extension(primary(), ".JPG");
    ASSERT_EQ(placed.size(), 2u);
    fs::remove(primary() / placed[0]);
    const Lines backup_before = state(snapshot(backup()));
    const Lines primary_before = state(snapshot(primary()));

    const ProcessResult second = run_copycard(numbered(11));

    ASSERT_EQ(second.exit_code, 0) << second.out << second.err;
    const Lines lines = output_lines(second.out);
    EXPECT_TRUE(has_line(lines, "    Files already ingested: 4")) << second.out;
    EXPECT_TRUE(has_line(lines, "    Files copied without conversion: 0")) << second.out;
    EXPECT_TRUE(has_line(lines, "SUCCESSFUL INGESTION - no errors detected")) << second.out;
    // Nothing was placed, so the number does not move on.
    EXPECT_EQ(last_lines(lines, 1), Lines{"Next starting number: 11"}) << second.out;
    // Not a file, not a folder, not even a history generation more.
    EXPECT_EQ(state(snapshot(backup())), backup_before);
    EXPECT_EQ(state(snapshot(primary())), primary_before);
    expect_card_unchanged();
}

// The room a run needs leaves out what is already there: a card ingested again onto a disk
// that could not take it twice still ends in success.
TEST_F(ReingestTest, AlmostFullDiskTakesTheSameCardAgain)
{
    TmpfsMount disk;
    std::string why;
    if (!disk.mount(tmp() / "disk", 96 << 10, why))
        GTEST_SKIP() << why;
    IngestArgs a = numbered(1);
    a.backup = (tmp() / "disk/backup").string();
    a.primary = (tmp() / "disk/primary").string();
    ASSERT_EQ(run_copycard(a).exit_code, 0);
    a.starting = "5";

    const ProcessResult second = run_copycard(a);

    ASSERT_EQ(second.exit_code, 0) << second.out << second.err;
    EXPECT_TRUE(has_line(output_lines(second.out), "    Files already ingested: 4")) << second.out;
}

// Range folders get their names after the copies are made; the history lists the copies under
// those names, so the next run finds them.
TEST_F(ReingestTest, SecondIngestionIntoRangeFoldersAddsNothing)
{
    IngestArgs a = numbered(1);
    a.switches = "-UR";
    ASSERT_EQ(run_copycard(a).exit_code, 0);
    const Lines backup_before = state(snapshot(backup()));
    a.starting = "5";

    const ProcessResult second = run_copycard(a);

    ASSERT_EQ(second.exit_code, 0) << second.out << second.err;
    EXPECT_TRUE(has_line(output_lines(second.out), "    Files already ingested: 4")) << second.out;
    EXPECT_EQ(state(snapshot(backup())), backup_before);
}

TEST_F(ReingestTest, BackupCopyThatChangedSinceIsCopiedAgain)
{
    ASSERT_EQ(run_copycard(numbered(1)).exit_code, 0);
    fs::path rotted;
    for (const std::string& copy : test::list_tree(backup()))
        if (test::read_file(backup() / copy) == test::read_file(card_root() / "DCIM/100CANON/IMG_0001.JPG"))
            rotted = backup() / copy;
    ASSERT_FALSE(rotted.empty());
    {
        std::fstream file(rotted, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(100);
        file.put('\x5a');
    }

    const ProcessResult second = run_copycard(numbered(5));

    ASSERT_EQ(second.exit_code, 0) << second.out << second.err;
    EXPECT_NE(second.out.find("Backup copy no longer matches its history"), std::string::npos) << second.out;
    EXPECT_TRUE(has_line(output_lines(second.out), "    Files already ingested: 3")) << second.out;
    // The card file got a good backup copy and primary copy beside the rotted one.
    expect_copy_of(backup() / "2006-06-12/IMG_0005.JPG", "DCIM/100CANON/IMG_0001.JPG");
    expect_copy_of(primary() / "2006-06-12/IMG_0005.JPG", "DCIM/100CANON/IMG_0001.JPG");
}

// Another card from the same camera: same paths, and here the same sizes, but other bytes.
TEST_F(ReingestTest, SamePathAndSizeWithOtherBytesIsCopied)
{
    ASSERT_EQ(run_copycard(numbered(1)).exit_code, 0);
    const fs::path card_file = card_root() / "DCIM/100CANON/IMG_0001.JPG";
    std::string bytes = test::read_file(card_file);
    bytes[bytes.size() / 2] ^= 0x01;
    test::write_file(card_file, bytes);
    set_mtime(card_file, cardgen::kDayOne);

    const ProcessResult second = run_copycard(numbered(5));

    ASSERT_EQ(second.exit_code, 0) << second.out << second.err;
    EXPECT_TRUE(has_line(output_lines(second.out), "    Files already ingested: 3")) << second.out;
    // The library's copy is fine; it is simply not this file's.
    EXPECT_EQ(second.out.find("no longer matches"), std::string::npos) << second.out;
    EXPECT_EQ(test::read_file(backup() / "2006-06-12/IMG_0005.JPG"), bytes);
    EXPECT_EQ(test::read_file(primary() / "2006-06-12/IMG_0005.JPG"), bytes);
}

// The first run fails while converting the second day's raws; a retry finishes the run.
TEST_F(ReingestTest, RetryAfterAFailedConversionCompletesWithoutSequenceNumbers)
{
    const ProcessResult failed = run_copycard(numbered(1), {"STANDIN_CONVERTER_FAIL=2006-06-13"});
    ASSERT_NE(failed.exit_code, 0) << failed.out;
    ASSERT_EQ(test::list_tree(primary()).size(), 2u);
    const Lines backups = test::list_tree(backup());

    const ProcessResult retry = run_copycard(numbered(1));

    ASSERT_EQ(retry.exit_code, 0) << retry.out << retry.err;
    const Lines lines = output_lines(retry.out);
    EXPECT_TRUE(has_line(lines, "    Files already ingested: 2")) << retry.out;
    EXPECT_TRUE(has_line(lines, "    Raws converted to DNGs: 1")) << retry.out;
    // As if the first run had succeeded.
    EXPECT_EQ(last_lines(lines, 1), Lines{"Next starting number: 5"}) << retry.out;
    EXPECT_EQ(test::list_tree(backup()), backups);
    EXPECT_EQ(sequence_numbered(primary()), Lines{});
    EXPECT_EQ(files_with_extension(primary() / "2006-06-13", ".dng").size(), 1u);
    EXPECT_EQ(files_with_extension(primary() / "2006-06-13", ".JPG").size(), 1u);
    expect_only_complete_files(primary());
}

// A failed run on a full disk may not manage to write its histories: its copies are then
// recognised by their bytes at the names the retry gives them.
TEST_F(ReingestTest, RetryFindsTheCopiesOfAFailedRunThatLeftNoHistory)
{
    IngestArgs a = numbered(1);
    a.converter = "none";
    // The second day's first primary copy is damaged on its way to the disk.
    const ProcessResult failed = run_copycard(
        a, {std::string("LD_PRELOAD=") + FLIP_BIT_SHIM, "FLIP_BIT_UNDER=" + (primary() / "2006-06-13").string()});
    ASSERT_NE(failed.exit_code, 0) << failed.out;
    ASSERT_EQ(test::list_tree(primary()).size(), 2u) << failed.out;  // the first day
    fs::remove_all(backup() / "ascmhl");
    fs::remove_all(primary() / "ascmhl");

    const ProcessResult retry = run_copycard(a);

    ASSERT_EQ(retry.exit_code, 0) << retry.out << retry.err;
    EXPECT_TRUE(has_line(output_lines(retry.out), "    Files already ingested: 2")) << retry.out;
    EXPECT_EQ(sequence_numbered(backup()), Lines{});
    EXPECT_EQ(sequence_numbered(primary()), Lines{});
    EXPECT_EQ(test::list_tree(backup()).size(), 4u);
    EXPECT_EQ(test::list_tree(primary()).size(), 4u);
    expect_only_complete_files(primary());
    EXPECT_EQ(last_lines(output_lines(retry.out), 1), Lines{"Next starting number: 5"}) << retry.out;
    // The retry's histories list what the failed run's would have.
    for (const fs::path& root : {backup(), primary()})
        EXPECT_EQ(files_with_extension(root / "ascmhl", ".mhl").size(), 1u) << root;
}

}  // namespace
}  // namespace oakvane::e2e
