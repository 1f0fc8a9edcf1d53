// A destination that damages a copy on its way to the disk (the flip-bit shim) must fail
// the run at that copy: nothing lost from the card, nothing damaged under a final name in
// either tree, nothing after it published.

#include "e2e_support.h"

#include <algorithm>
#include <regex>

namespace oakvane::e2e {
namespace {

using Lines = std::vector<std::string>;
using test::list_tree;

constexpr std::time_t kDayOne = cardgen::kDayOne;
constexpr char kFromCache[] =
    "Copies were checked from the cache: the file system keeps them there";

class ReadBackTest : public E2eTest {
protected:
    // Four raws, copied unchanged, kept under their card names in flat trees.
    IngestArgs four_raws()
    {
        for (int i = 1; i <= 4; ++i)
            add_raw("DCIM/100CANON/IMG_000" + std::to_string(i) + ".CR2", kDayOne + i, 300 * 1024,
                    i);
        card_done();
        IngestArgs a = args();
        a.fmt = "EEEE";
        return a;
    }
    // The run with one bit flipped in the nth file written below tree.
    ProcessResult run_damaging(const IngestArgs& a, const fs::path& tree, int nth,
                               std::vector<std::string> env = {})
    {
        if (std::none_of(env.begin(), env.end(),
                         [](const std::string& e) { return e.starts_with("LD_PRELOAD="); }))
            env.push_back(std::string("LD_PRELOAD=") + FLIP_BIT_SHIM);
        env.push_back("FLIP_BIT_UNDER=" + tree.string());
        env.push_back("FLIP_BIT_NTH=" + std::to_string(nth));
        return run_copycard(a, env);
    }
    static long count_lines(const std::string& out, const std::string& line)
    {
        const Lines lines = output_lines(out);
        return static_cast<long>(std::count(lines.begin(), lines.end(), line));
    }
};

TEST_F(ReadBackTest, DamagedBackupCopyFailsTheRunAtThatCopy)
{
    const IngestArgs a = four_raws();

    const ProcessResult r = run_damaging(a, backup(), 2);

    EXPECT_EQ(r.exit_code, 1) << r.err;
    const Lines lines = output_lines(r.out);
    ASSERT_GE(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[lines.size() - 2], "ERROR:") << r.out;
    // The card is read in the order of its folder, so which file came second is not fixed.
    const std::regex named("copy differs from the card after writing: \"" + a.backup +
                           "/IMG_000[1-4]\\.CR2\"");
    EXPECT_TRUE(std::regex_match(lines.back(), named)) << lines.back();
    EXPECT_EQ(list_tree(backup()), Lines{}) << "the whole group stays unpublished";
    EXPECT_FALSE(fs::exists(primary()));
    expect_card_unchanged();
}

TEST_F(ReadBackTest, DamagedPrimaryCopyFailsTheRunAtThatCopy)
{
    const IngestArgs a = four_raws();

    const ProcessResult r = run_damaging(a, primary(), 2);

    EXPECT_EQ(r.exit_code, 1) << r.err;
    const Lines lines = output_lines(r.out);
    ASSERT_GE(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[lines.size() - 2], "ERROR:") << r.out;
    EXPECT_EQ(lines.back(), "copy differs from the card after writing: \"" +
                                (primary() / "IMG_0002.CR2").string() + "\"");
    EXPECT_EQ(list_tree(primary()), Lines{});
    // The backup tree is whole: the run lost nothing.
    EXPECT_EQ(list_tree(backup()).size(), 4u);
    expect_only_complete_files(backup());
    expect_card_unchanged();
}

// The damaged copy is found only when its group is flushed, after a later card file failed
// to read; one file at a time, the run would have ended at the damaged copy.
TEST_F(ReadBackTest, AnEarlierDamagedBackupCopyOutranksALaterReadError)
{
    const IngestArgs a = four_raws();
    // The card is read in its folder's own order, which a listing of it shows.
    Lines order;
    for (const auto& entry : fs::directory_iterator(card_folder() / "100CANON"))
        order.push_back(entry.path().filename().string());
    ASSERT_EQ(order.size(), 4u);

    const ProcessResult r = run_damaging(
        a, backup(), 1,
        {std::string("LD_PRELOAD=") + FLIP_BIT_SHIM + " " + READ_EIO_SHIM,
         "READ_EIO_MATCH=" + order.back()});

    EXPECT_EQ(r.exit_code, 1) << r.err;
    const Lines lines = output_lines(r.out);
    ASSERT_GE(lines.size(), 1u);
    EXPECT_EQ(lines.back(), "copy differs from the card after writing: \"" + a.backup + "/" +
                                order.front() + "\"");
    EXPECT_EQ(list_tree(backup()), Lines{});
    expect_card_unchanged();
}

// Documents the off switch: with read-back off the same damage is not looked for, so it is
// the shim's damage, not the copies' sizes, that the read-back above caught.
TEST_F(ReadBackTest, WithReadBackOffTheDamageGoesUnseen)
{
    const IngestArgs a = four_raws();

    const ProcessResult r = run_damaging(a, primary(), 2, {"OAKVANE_READ_BACK=0"});

    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(list_tree(primary()).size(), 4u);
    EXPECT_NE(hash_file(primary() / "IMG_0002.CR2"),
              hash_file(card_folder() / "100CANON/IMG_0002.CR2"));
    EXPECT_EQ(count_lines(r.out, kFromCache), 0);
}

TEST_F(ReadBackTest, AnUnknownSwitchValueIsRefusedBeforeAnythingIsWritten)
{
    const IngestArgs a = four_raws();

    const ProcessResult r = run_copycard(a, {"OAKVANE_READ_BACK=no"});

    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("OAKVANE_READ_BACK"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(backup()));
}

TEST_F(ReadBackTest, ATreeThatKeepsItsPagesIsSaidOnceToBeCheckedFromTheCache)
{
    TmpfsMount disk;
    std::string why;
    if (!disk.mount(tmp() / "disk", 64 << 20, why))
        GTEST_SKIP() << why;
    IngestArgs a = four_raws();
    a.backup = (tmp() / "disk/backup").string();

    const ProcessResult r = run_copycard(a);

    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(count_lines(r.out, kFromCache), 1) << r.out;
}

}  // namespace
}  // namespace oakvane::e2e
