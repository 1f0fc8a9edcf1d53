#include "dirlist.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

using namespace oakvane;

TEST(ListDirectory, ListsDirectEntriesOnly)
{
    test::TempDir dir;
    test::write_file(dir.path() / "a.xmp", "");
    test::write_file(dir.path() / "b.xmp", "");
    test::write_file(dir.path() / "sub/c.xmp", "");
    bool ok = false;
    auto names = posix::list_directory(dir.str(), &ok);
    std::sort(names.begin(), names.end());
    EXPECT_TRUE(ok);
    EXPECT_EQ(names, (std::vector<std::string>{"a.xmp", "b.xmp", "sub"}));
}

TEST(ListDirectory, MissingFolderIsEmpty)
{
    test::TempDir dir;
    bool ok = false;
    EXPECT_TRUE(posix::list_directory(dir / "missing", &ok).empty());
    EXPECT_TRUE(ok);
}

// Taking a folder that can't be read for an empty one would make its files look absent.
TEST(ListDirectory, FolderThatCantBeOpenedIsAnError)
{
    test::TempDir dir;
    test::write_file(dir.path() / "file", "x");
    bool ok = true;
    errno = 0;
    EXPECT_TRUE(posix::list_directory(dir / "file", &ok).empty());
    EXPECT_FALSE(ok);
    EXPECT_EQ(errno, ENOTDIR);

    ok = true;
    errno = 0;
    posix::list_directory(dir / "file/below", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(errno, ENOTDIR);
}
