#include "card_dir.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace oakvane;
namespace fs = std::filesystem;
using Status = posix::CardFile::Status;

namespace {

struct stat lstat_of(const fs::path& path)
{
    struct stat st{};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

std::string read_all(int fd)
{
    std::string out(64, '\0');
    const ssize_t n = ::read(fd, out.data(), out.size());
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

// A held card with DCIM/100TEST/IMG_0001.JPG, whose status the walk would have seen.
struct Card {
    test::TempDir dir;
    fs::path root = dir.path() / "card";
    fs::path image = root / "DCIM/100TEST/IMG_0001.JPG";
    posix::CardDir held;
    struct stat seen{};

    Card()
    {
        test::write_file(image, "image");
        seen = lstat_of(image);
        EXPECT_EQ(held.open(root.string()), 0);
    }
    posix::CardFile open() const { return held.open_file("DCIM/100TEST/IMG_0001.JPG", seen); }
};

}  // namespace

TEST(CardFile, OpensTheFileSeenForBlockingReads)
{
    Card card;
    const posix::CardFile file = card.open();
    ASSERT_EQ(file.status, Status::opened);
    EXPECT_EQ(::fcntl(file.fd.get(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_EQ(read_all(file.fd.get()), "image");

    fs::remove(card.image);
    const posix::CardFile gone = card.open();
    EXPECT_EQ(gone.status, Status::failed);
    EXPECT_EQ(gone.error, ENOENT);
    EXPECT_FALSE(gone.fd);
}

// Each replacement still leads to a file with the content seen, or to the very inode seen
// through a link: only refusing the link itself, or checking identity, tells them apart.
TEST(CardFile, AnythingElseInTheFilesPlaceIsAChange)
{
    {
        Card card;
        test::write_file(card.root / "new", "image");
        fs::rename(card.root / "new", card.image);
        EXPECT_EQ(card.open().status, Status::changed) << "new inode";
    }
    {
        Card card;
        fs::rename(card.image, card.root / "moved.JPG");
        fs::create_symlink(card.root / "moved.JPG", card.image);
        EXPECT_EQ(card.open().status, Status::changed) << "link as the file";
    }
    {
        Card card;
        fs::rename(card.root / "DCIM", card.root / "REAL");
        fs::create_directory_symlink("REAL", card.root / "DCIM");
        EXPECT_EQ(card.open().status, Status::changed) << "link as a folder on the way";
    }
    {
        Card card;
        fs::remove(card.image);
        ASSERT_EQ(::mkfifo(card.image.c_str(), 0644), 0);
        const posix::CardFile fifo = card.open();  // must not hang waiting for a writer
        EXPECT_EQ(fifo.status, Status::changed) << "FIFO";
        EXPECT_FALSE(fifo.fd);
    }
}

TEST(CardFile, RelativePathsThatCouldLeaveTheCardAreRefused)
{
    Card card;
    test::write_file(card.dir.path() / "outside", "x");
    const struct stat outside = lstat_of(card.dir.path() / "outside");
    for (const std::string& relative : {std::string("../outside"), card.dir / "outside",
                                        std::string("DCIM//100TEST/IMG_0001.JPG"),
                                        std::string("DCIM/./100TEST/IMG_0001.JPG"),
                                        std::string("DCIM/100TEST/"), std::string()}) {
        const posix::CardFile file = card.held.open_file(relative, outside);
        EXPECT_EQ(file.status, Status::failed) << relative;
        EXPECT_EQ(file.error, EINVAL) << relative;
    }
}
