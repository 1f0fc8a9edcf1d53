#include "card_dir.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

using namespace oakvane;
namespace fs = std::filesystem;
using Step = posix::CardDirFailure::Step;
using Status = posix::CardFile::Status;

namespace {

struct Seen {
    std::string relative;
    posix::EntryType type;
    int level;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& s)
{
    return out << '"' << s.relative << "\" type " << static_cast<int>(s.type) << " level "
               << s.level;
}

struct Walked {
    int result = -2;
    posix::CardDirFailure failure;
    std::vector<Seen> seen;
    std::vector<posix::CardDirEntry> entries;
};

// Walks card; before is called on each entry before it is recorded, and may change the tree.
Walked walk(const posix::CardDir& card,
            const std::function<int(const posix::CardDirEntry&)>& before = nullptr)
{
    Walked w;
    w.result = card.walk(
        [&](const posix::CardDirEntry& e) {
            w.seen.push_back({e.relative, e.type, e.level});
            w.entries.push_back(e);
            return before ? before(e) : 0;
        },
        w.failure);
    return w;
}

// What a pre-order walk in the file system's own listing order must give, from an
// independent lister.
std::vector<Seen> expected_walk(const fs::path& root)
{
    std::vector<Seen> expected{{"", posix::EntryType::directory, 0}};
    const fs::recursive_directory_iterator end;
    for (auto it = fs::recursive_directory_iterator(root); it != end; ++it) {
        const fs::file_status st = it->symlink_status();
        const posix::EntryType type = fs::is_symlink(st)     ? posix::EntryType::link
                                      : fs::is_directory(st) ? posix::EntryType::directory
                                      : fs::is_regular_file(st) ? posix::EntryType::file
                                                                : posix::EntryType::other;
        expected.push_back({it->path().lexically_relative(root).string(), type, it.depth() + 1});
    }
    return expected;
}

struct stat lstat_of(const fs::path& path)
{
    struct stat st{};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

int open_descriptors()
{
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// A card with a file, a hidden file, a folder with a file, a link and a FIFO.
fs::path make_card(const test::TempDir& dir)
{
    const fs::path card = dir.path() / "card";
    test::write_file(card / "DCIM/100TEST/IMG_0001.JPG", "image");
    test::write_file(card / "DCIM/.hidden", "x");
    test::write_file(card / "README.TXT", "x");
    fs::create_symlink("DCIM/100TEST/IMG_0001.JPG", card / "DCIM/link.JPG");
    EXPECT_EQ(::mkfifo((card / "DCIM/fifo").c_str(), 0644), 0);
    return card;
}

}  // namespace

TEST(CardDirWalk, PreOrderInListingOrderWithEachEntrysOwnType)
{
    test::TempDir dir;
    const fs::path card = make_card(dir);
    posix::CardDir held;
    ASSERT_EQ(held.open(card.string()), 0);
    const Walked w = walk(held);
    EXPECT_EQ(w.result, 0);
    EXPECT_EQ(w.seen, expected_walk(card));
    ASSERT_EQ(w.seen.size(), 8u);  // the card itself and its seven entries

    for (const posix::CardDirEntry& e : w.entries) {
        EXPECT_EQ(e.path, e.relative.empty() ? held.path() : held.path() + "/" + e.relative);
        const struct stat own = lstat_of(e.path);
        EXPECT_EQ(e.st.st_ino, own.st_ino) << e.path;
        EXPECT_EQ(e.st.st_mode, own.st_mode) << e.path;  // a link's own, not its target's
    }
    EXPECT_EQ(w.entries.front().name(), "card");
    EXPECT_EQ(w.entries.back().name(), fs::path(w.seen.back().relative).filename().string());
}

TEST(CardDirWalk, VisitorValueEndsTheWalk)
{
    test::TempDir dir;
    posix::CardDir held;
    ASSERT_EQ(held.open(make_card(dir).string()), 0);
    const Walked w = walk(held, [](const posix::CardDirEntry& e) { return e.level == 2 ? 7 : 0; });
    EXPECT_EQ(w.result, 7);
    EXPECT_EQ(w.seen.back().level, 2);
    EXPECT_EQ(w.failure.step, Step::none);
}

// The path given may be pointed elsewhere during the run: every walk reads the card first held.
TEST(CardDirOpen, LinkedStartIsFollowedOnceAndPathsUseTheResolvedFolder)
{
    test::TempDir dir;
    const fs::path card = make_card(dir);
    test::write_file(dir.path() / "other/OTHER.JPG", "x");
    const fs::path linked = dir.path() / "linked";
    fs::create_directory_symlink(card, linked);

    posix::CardDir held;
    ASSERT_EQ(held.open(linked.string()), 0);
    EXPECT_EQ(held.path(), fs::canonical(card).string());
    const Walked first = walk(held);
    EXPECT_EQ(first.entries.front().path, held.path());

    fs::remove(linked);
    fs::create_directory_symlink(dir.path() / "other", linked);
    const Walked second = walk(held);
    EXPECT_EQ(second.result, 0);
    EXPECT_EQ(second.seen, first.seen);  // also: a second walk lists from the start again
}

TEST(CardDirOpen, StartThatIsNoFolderOrMissingIsRefused)
{
    test::TempDir dir;
    test::write_file(dir.path() / "file", "x");
    fs::create_symlink(dir.path() / "file", dir.path() / "link-to-file");
    posix::CardDir held;
    EXPECT_EQ(held.open(dir / "file"), ENOTDIR);
    EXPECT_EQ(held.open(dir / "link-to-file"), ENOTDIR);
    EXPECT_EQ(held.open(dir / "missing"), ENOENT);
    EXPECT_FALSE(held.is_open());
    posix::CardDirFailure failure;
    EXPECT_EQ(held.walk([](const posix::CardDirEntry&) { return 0; }, failure), -1);
}

// A folder swapped between being examined and being opened is never read as the folder seen.
TEST(CardDirWalk, FolderSwappedDuringTheWalkEndsItInsteadOfBeingFollowed)
{
    test::TempDir dir;
    const fs::path card = make_card(dir);
    test::write_file(dir.path() / "elsewhere/ELSEWHERE.JPG", "x");
    posix::CardDir held;
    ASSERT_EQ(held.open(card.string()), 0);

    auto swap_for = [&](auto&& put) {
        return [&, put](const posix::CardDirEntry& e) {
            if (e.relative == "DCIM") {
                fs::rename(card / "DCIM", dir.path() / "DCIM.old");
                put(card / "DCIM");
            }
            return 0;
        };
    };
    const Walked to_link = walk(held, swap_for([&](const fs::path& at) {
        fs::create_directory_symlink(dir.path() / "elsewhere", at);
    }));
    EXPECT_EQ(to_link.result, -1);
    EXPECT_EQ(to_link.failure.step, Step::open);
    EXPECT_EQ(to_link.failure.path, held.path() + "/DCIM");
    EXPECT_TRUE(to_link.failure.error == ENOTDIR || to_link.failure.error == ELOOP);
    EXPECT_EQ(to_link.seen.back().relative, "DCIM");

    fs::remove(card / "DCIM");
    fs::rename(dir.path() / "DCIM.old", card / "DCIM");
    const Walked to_folder = walk(held, swap_for([&](const fs::path& at) {
        fs::rename(dir.path() / "elsewhere", at);
    }));
    EXPECT_EQ(to_folder.result, -1);
    EXPECT_EQ(to_folder.failure.step, Step::changed);
    EXPECT_EQ(to_folder.seen.back().relative, "DCIM");

    // Swapped before the walk looked: it is reported for what it is, and not entered.
    fs::rename(card / "DCIM", dir.path() / "elsewhere");
    fs::create_directory_symlink(dir.path() / "elsewhere", card / "DCIM");
    const Walked before = walk(held);
    EXPECT_EQ(before.result, 0);
    EXPECT_EQ(before.seen, expected_walk(card));
    EXPECT_TRUE(std::count(before.seen.begin(), before.seen.end(),
                           Seen{"DCIM", posix::EntryType::link, 1}));
}

TEST(CardDirWalk, VisitorThrowingLeavesNoDescriptorOpen)
{
    test::TempDir dir;
    posix::CardDir held;
    ASSERT_EQ(held.open(make_card(dir).string()), 0);
    const int before = open_descriptors();
    posix::CardDirFailure failure;
    EXPECT_THROW(held.walk(
                     [](const posix::CardDirEntry& e) -> int {
                         if (e.level == 3)
                             throw std::bad_alloc();
                         return 0;
                     },
                     failure),
                 std::bad_alloc);
    EXPECT_EQ(open_descriptors(), before);
    EXPECT_EQ(walk(held).result, 0);  // and the next walk is whole
}
