#include "open_beneath.h"
#include "owned_fd.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

using namespace oakvane;
namespace fs = std::filesystem;

namespace {

std::string read_all(int fd)
{
    std::string out(64, '\0');
    const ssize_t n = ::read(fd, out.data(), out.size());
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

// Either way of opening beneath a folder, with the opened file's content or the errno.
using Opener = int (*)(int, const std::string&, int);

std::string open_through(Opener opener, int dirfd, const std::string& relative, int& error)
{
    const posix::OwnedFd fd(opener(dirfd, relative, O_RDONLY | O_CLOEXEC));
    error = fd ? 0 : errno;
    return fd ? read_all(fd.get()) : std::string();
}

}  // namespace

// Kernels without openat2 take the component-by-component way, which a test on a newer
// kernel never reaches by itself: both ways must agree.
TEST(OpenBeneath, BothWaysRefuseLinksInAnyComponent)
{
    test::TempDir dir;
    test::write_file(dir.path() / "A/B/file", "content");
    fs::create_directory_symlink("A", dir.path() / "LA");
    fs::create_directory_symlink("B", dir.path() / "A/LB");
    fs::create_symlink("file", dir.path() / "A/B/lfile");
    test::write_file(dir.path() / "A/notdir", "x");
    const posix::OwnedFd held(::open(dir.str().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(held);

    for (const Opener opener : {&posix::open_beneath, &posix::open_beneath_by_components}) {
        int error = -1;
        EXPECT_EQ(open_through(opener, held.get(), "A/B/file", error), "content");
        EXPECT_EQ(error, 0);
        for (const char* through_link : {"LA/B/file", "A/LB/file", "A/B/lfile"}) {
            open_through(opener, held.get(), through_link, error);
            EXPECT_EQ(error, ELOOP) << through_link;
        }
        open_through(opener, held.get(), "A/notdir/file", error);
        EXPECT_EQ(error, ENOTDIR);
        open_through(opener, held.get(), "A/../A/B/file", error);
        EXPECT_EQ(error, EINVAL);
    }
}
