// What a run may read from the card and which settings it must refuse before it writes
// anything: a card is formatted after "SUCCESSFUL INGESTION", so a run that left a card
// file out, read something outside the card or wrote onto it must fail instead.

#include "e2e_support.h"

#include <fcntl.h>
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
    expect_refused(run_copycard_within(a, {}, 20s), {"", "ERROR:", "ftw failed"});
    expect_card_unchanged();
}

}  // namespace
}  // namespace oakvane::e2e
