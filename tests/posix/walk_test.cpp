#include "temp_dir.h"
#include "walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

using namespace oakvane;
namespace fs = std::filesystem;

namespace {

struct Seen {
    std::string name;
    posix::EntryType type;
    int level;
};

std::vector<Seen> walk(const fs::path& root, int stop_at = 0, int* result = nullptr)
{
    std::vector<Seen> seen;
    int files = 0;
    const int r = posix::walk_tree(root.c_str(), [&](const posix::WalkEntry& e) {
        seen.push_back({std::string(e.name()), e.type, e.level});
        if (e.type == posix::EntryType::file && ++files == stop_at)
            return 7;
        return 0;
    });
    if (result)
        *result = r;
    return seen;
}

}  // namespace

TEST(Walk, VisitsFoldersBeforeTheirContents)
{
    test::TempDir dir;
    test::write_file(dir.path() / "DCIM/100TEST/IMG_0001.JPG", "x");
    test::write_file(dir.path() / "DCIM/.hidden", "x");
    fs::create_directories(dir.path() / "DCIM/EMPTY");
    int result = -2;
    const auto seen = walk(dir.path() / "DCIM", 0, &result);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0].name, "DCIM");
    EXPECT_EQ(seen[0].level, 0);
    EXPECT_EQ(seen[0].type, posix::EntryType::directory);
    auto find = [&](const std::string& name) {
        return std::find_if(seen.begin(), seen.end(), [&](const Seen& s) { return s.name == name; });
    };
    ASSERT_NE(find(".hidden"), seen.end());  // callers decide what to skip
    EXPECT_EQ(find(".hidden")->type, posix::EntryType::file);
    EXPECT_EQ(find("EMPTY")->type, posix::EntryType::directory);
    EXPECT_EQ(find("IMG_0001.JPG")->level, 2);
    EXPECT_LT(find("100TEST"), find("IMG_0001.JPG"));
}

TEST(Walk, VisitorResultEndsTheWalk)
{
    test::TempDir dir;
    for (int i = 0; i < 5; ++i)
        test::write_file(dir.path() / ("f" + std::to_string(i)), "x");
    int result = 0;
    const auto seen = walk(dir.path(), 3, &result);
    EXPECT_EQ(result, 7);
    EXPECT_EQ(seen.size(), 4u);  // the folder and three files
}

TEST(Walk, UnreadablePlacesAndStartsThatAreNoFolderEndWithMinusOne)
{
    test::TempDir dir;
    int result = 0;
    EXPECT_TRUE(walk(dir.path() / "missing", 0, &result).empty());
    EXPECT_EQ(result, -1);

    test::write_file(dir.path() / "file", "x");
    errno = 0;
    EXPECT_TRUE(walk(dir.path() / "file", 0, &result).empty());
    EXPECT_EQ(result, -1);
    EXPECT_EQ(errno, ENOTDIR);
}

// A linked start folder is walked; below it nothing is followed, and what is not a regular
// file says so, for the caller to refuse.
TEST(Walk, LinksBelowTheStartAndSpecialFilesAreReportedAsSuch)
{
    test::TempDir dir;
    test::write_file(dir.path() / "target", "12345");
    test::write_file(dir.path() / "card/IMG_0001.JPG", "x");
    fs::create_symlink(dir.path() / "target", dir.path() / "card/link.JPG");
    fs::create_symlink(dir.path() / "nowhere", dir.path() / "card/dangling");
    fs::create_directory_symlink(dir.path(), dir.path() / "card/loop");
    ASSERT_EQ(::mkfifo((dir.path() / "card/fifo").c_str(), 0644), 0);
    fs::create_directory_symlink(dir.path() / "card", dir.path() / "linked");

    int result = -2;
    auto seen = walk(dir.path() / "linked", 0, &result);
    EXPECT_EQ(result, 0);
    std::sort(seen.begin(), seen.end(), [](const Seen& a, const Seen& b) { return a.name < b.name; });
    const std::vector<std::pair<std::string, posix::EntryType>> expected = {
        {"IMG_0001.JPG", posix::EntryType::file}, {"card", posix::EntryType::directory},
        {"dangling", posix::EntryType::link},     {"fifo", posix::EntryType::other},
        {"link.JPG", posix::EntryType::link},     {"loop", posix::EntryType::link}};
    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].name, expected[i].first);
        EXPECT_EQ(seen[i].type, expected[i].second) << seen[i].name;
    }
}
