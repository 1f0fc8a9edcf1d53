// What a run may read from the card and which settings it must refuse before it writes
// anything: a card is formatted after "SUCCESSFUL INGESTION", so a run that left a card
// file out, read something outside the card or wrote onto it must fail instead.

#include "e2e_support.h"

#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace oakvane::e2e {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

class CardSafetyTest : public E2eTest {
protected:
    void SetUp() override
    {
        add_jpeg("DCIM/100CANON/IMG_0001.JPG", cardgen::kDayOne);
        card_done();
    }

    // A refused run: status 1, these output lines, nothing written anywhere.
    void expect_refused(const std::optional<ProcessResult>& r, const Lines& out) const
    {
        ASSERT_TRUE(r) << "the run hung";
        EXPECT_EQ(r->exit_code, 1) << r->err;
        EXPECT_EQ(output_lines(r->out), out) << r->err;
        EXPECT_FALSE(fs::exists(backup()));
        EXPECT_FALSE(fs::exists(primary()));
    }
};

void make_socket(const fs::path& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0) << path;
    ::close(fd);
}

TEST_F(CardSafetyTest, LinkedCardFolderIsIngested)
{
    fs::create_directory_symlink(card_folder(), tmp() / "linked");
    IngestArgs a = args();
    a.card = in_tmp("linked");
    const ProcessResult r = run_copycard(a);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(test::list_tree(backup()), Lines{"IMG_20060612_0001.JPG"});
    EXPECT_EQ(test::list_tree(primary()), Lines{"IMG_20060612_0001.JPG"});
    expect_card_unchanged();
}

TEST_F(CardSafetyTest, LinksAndSpecialFilesOnTheCardFailTheRunByName)
{
    const fs::path dir = card_folder() / "100CANON";
    struct stat dir_st;
    ASSERT_EQ(::stat(dir.c_str(), &dir_st), 0);
    struct Case {
        std::string name;
        std::function<void(const fs::path&)> make;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"PASSWD.JPG", [](const fs::path& p) { fs::create_symlink("/etc/passwd", p); }, "Link on card"},
        {"101LINK", [](const fs::path& p) { fs::create_directory_symlink("/etc", p); }, "Link on card"},
        {"IMG_0002.JPG", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); },
         "Not a regular file on card"},
        {"IMG_0003.JPG", make_socket, "Not a regular file on card"},
        {"IMG_0004.JPG",
         [](const fs::path& p) { ASSERT_EQ(::mknod(p.c_str(), S_IFCHR | 0644, makedev(1, 5)), 0); },
         "Not a regular file on card"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = dir / c.name;
        c.make(path);
        expect_refused(run_copycard_within(args(), {}, 20s),
                       {"", "ERROR:", c.message + ": \"" + path.string() + "\""});
        fs::remove(path);
    }
    const timespec times[2] = {dir_st.st_atim, dir_st.st_mtim};
    ::utimensat(AT_FDCWD, dir.c_str(), times, 0);
    expect_card_unchanged();
}

TEST_F(CardSafetyTest, CardFolderThatIsAFileFailsTheWalk)
{
    IngestArgs a = args();
    a.card = (card_folder() / "100CANON/IMG_0001.JPG").string();
    expect_refused(run_copycard_within(a, {}, 20s), {"", "ERROR:", "ftw failed: " + a.card + ": Not a directory"});
    expect_card_unchanged();
}

// A tree inside the card would write onto it and be ingested again by the next run; a card
// inside a tree would have the run read its own copies. Links do not hide either.
TEST_F(CardSafetyTest, OverlappingFoldersAreRefusedBeforeAnythingIsWritten)
{
    fs::create_directory_symlink(card_root(), tmp() / "linked");
    struct Case {
        std::string backup;
        std::string primary;
        std::string message;
    };
    const std::string card = card_folder().string();
    const std::vector<Case> cases = {
        {card + "/backup", primary(), "The backup folder is inside the card folder: \"" + card + "/backup\""},
        {in_tmp("linked/DCIM/x/../b"), primary(),
         "The backup folder is inside the card folder: \"" + in_tmp("linked/DCIM/x/../b") + "\""},
        {card_root().string(), primary(), "The card folder is inside the backup folder: \"" + card + "\""},
        {backup(), card, "The primary folder is inside the card folder: \"" + card + "\""},
        {backup(), in_tmp("linked"), "The card folder is inside the primary folder: \"" + card + "\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        IngestArgs a = args();
        a.backup = c.backup;
        a.primary = c.primary;
        expect_refused(run_copycard_within(a, {}, 20s), {"", "ERROR:", c.message});
        expect_card_unchanged();
    }
}

TEST_F(CardSafetyTest, EmptyOrRelativeTreesAreRefused)
{
    IngestArgs a = args();
    a.backup = "";
    expect_refused(run_copycard_within(a, {}, 20s),
                   {"", "ERROR:", "Backup folder must be an absolute path: \"\""});
    a = args();
    a.primary = "Pictures";
    expect_refused(run_copycard_within(a, {}, 20s),
                   {"", "ERROR:", "Primary folder must be an absolute path: \"Pictures\""});
    expect_card_unchanged();
}

// Numbers beyond the int range are refused, not wrapped into negative names; the largest
// one is fine, and the sum with the card's count goes to 1 as any sum over 9999 does.
TEST_F(CardSafetyTest, StartingNumbersBeyondRangeAreRefused)
{
    for (const char* starting : {"2147483648", "99999999999999999999", "-5"}) {
        SCOPED_TRACE(starting);
        IngestArgs a = args();
        a.fmt = "SAEE";
        a.starting = starting;
        expect_refused(run_copycard_within(a, {}, 20s),
                       {"", "ERROR:", std::string("Starting number must be from 0 to 2147483647: \"") +
                                          starting + "\""});
    }
    IngestArgs a = args();
    a.fmt = "SAEE";
    a.starting = "2147483647";
    const ProcessResult r = run_copycard(a);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(test::list_tree(backup()), Lines{"IMG_0001.JPG"});
    EXPECT_EQ(last_lines(output_lines(r.out), 1), Lines{"Next starting number: 2"});
}

// The test holds the lock a running ingestion holds on each tree's root folder.
TEST_F(CardSafetyTest, SecondRunIntoTheSameTreesIsRefused)
{
    for (const fs::path& root : {backup(), primary()}) {
        SCOPED_TRACE(root);
        fs::create_directories(root);
        const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        const auto r = run_copycard_within(args(), {}, 20s);
        ::close(fd);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->exit_code, 1);
        EXPECT_EQ(last_lines(output_lines(r->out), 3),
                  (Lines{"", "ERROR:", "Another ingestion is writing into \"" + root.string() + "\""}));
        EXPECT_EQ(test::list_tree(backup()), Lines{});
        EXPECT_EQ(test::list_tree(primary()), Lines{});
    }
    const ProcessResult r = run_copycard(args());
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(test::list_tree(backup()), Lines{"IMG_20060612_0001.JPG"});  // no lock file
    EXPECT_EQ(test::list_tree(primary()), Lines{"IMG_20060612_0001.JPG"});
}

// A camera's own sidecar goes with its image, and the template makes none for that image,
// whichever of the two the folder lists first.
TEST_F(CardSafetyTest, CardsOwnSidecarIsKeptAndNoTemplateIsMadeForItsImage)
{
    add_bytes("DCIM/100CANON/IMG_0001.XMP", cardgen::kDayOne, "camera one");
    add_jpeg("DCIM/100CANON/IMG_0002.JPG", cardgen::kDayOne, 2);
    add_bytes("DCIM/100CANON/IMG_0002.xmp", cardgen::kDayOne, "camera two");
    add_jpeg("DCIM/100CANON/IMG_0003.JPG", cardgen::kDayOne, 3);
    card_done();
    IngestArgs a = args();
    a.fmt = "EEEE";
    a.sidecar = template_path();

    const ProcessResult r = run_copycard(a);

    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    for (const fs::path& root : {backup(), primary()}) {
        SCOPED_TRACE(root);
        EXPECT_EQ(test::list_tree(root), (Lines{"IMG_0001.JPG", "IMG_0001.XMP", "IMG_0002.JPG", "IMG_0002.xmp",
                                                "IMG_0003.JPG", "IMG_0003.xmp"}));
        EXPECT_EQ(test::read_file(root / "IMG_0001.XMP"), "camera one");
        EXPECT_EQ(test::read_file(root / "IMG_0002.xmp"), "camera two");
        EXPECT_EQ(test::read_file(root / "IMG_0003.xmp"), template_text());
    }
    expect_card_unchanged();
}

// Reading a card must not change it: every card file and folder keeps its access time (with
// the default relatime an ordinary read would write it, the time being older than the file).
TEST_F(CardSafetyTest, ReadingLeavesTheCardsAccessTimes)
{
    add_jpeg("DCIM/100CANON/IMG_0002.JPG", cardgen::kDayOne + 1, 2);
    add_jpeg("DCIM/101CANON/IMG_0003.JPG", cardgen::kDayOne + 2, 3);
    card_done();
    const timespec old_atime{cardgen::kDayOne - 86400, 0};
    // Listed first: listing a folder is reading it.
    std::vector<fs::path> entries(fs::recursive_directory_iterator(card_root()), {});
    std::map<std::string, timespec> before;
    for (const fs::path& path : entries) {
        const timespec times[2] = {old_atime, {0, UTIME_OMIT}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
        struct stat st;
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        before[path.string()] = st.st_atim;
    }

    const ProcessResult r = run_copycard(args());
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;

    for (const auto& [path, atime] : before) {
        struct stat st;
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_atim.tv_sec, atime.tv_sec) << path;
    }
}

// The card folder is resolved once and held: pointing its path at another card in the middle
// of the run changes nothing, and every file of the card the run began with is in the trees.
TEST_F(CardSafetyTest, CardFolderSwappedMidRunIsNotFollowed)
{
    for (int i = 2; i <= 40; ++i)
        add_sparse("DCIM/100CANON/IMG_" + std::string(i < 10 ? "000" : "00") + std::to_string(i) + ".CR2",
                   cardgen::kDayOne + i, 4 << 20);
    card_done();
    const fs::path other = tmp() / "other/DCIM/100CANON";
    fs::create_directories(other);
    test::write_file(other / "IMG_9999.JPG", "another card's file");
    const fs::path link = tmp() / "cardlink";
    fs::create_directory_symlink(card_folder(), link);
    IngestArgs a = args();
    a.card = link.string();
    a.fmt = "EEEE";

    // Sparse stand-ins of raws, about the card folder rather than the raws.
    test::Process run(a.argv(), copycard_env({"OAKVANE_RAW_DECODE=0"}));
    // Once copying has begun, the link is pointed at the other card.
    ASSERT_TRUE(wait_for(run, [&] { return fs::exists(backup()) && !fs::is_empty(backup()); }, 20s));
    const fs::path swapped = tmp() / "cardlink.new";
    fs::create_directory_symlink(tmp() / "other/DCIM", swapped);
    fs::rename(swapped, link);
    const ProcessResult r = run.wait();

    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    Lines expected;
    for (int i = 1; i <= 40; ++i)
        expected.push_back(std::string(i < 10 ? "IMG_000" : "IMG_00") + std::to_string(i) +
                           (i == 1 ? ".JPG" : ".CR2"));
    EXPECT_EQ(test::list_tree(backup()), expected);
    EXPECT_EQ(test::list_tree(primary()), expected);
    expect_card_unchanged();
}

}  // namespace
}  // namespace oakvane::e2e
