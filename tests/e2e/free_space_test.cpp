// A run refuses to start when a destination file system lacks the room the card needs, and
// then writes nothing at all.

#include "e2e_support.h"

#include <sys/statvfs.h>

namespace oakvane::e2e {
namespace {

using Lines = std::vector<std::string>;

constexpr std::uint64_t kRawBytes = 700 * 1024;  // a whole number of 4 KiB blocks

class FreeSpaceTest : public E2eTest {
protected:
    // A tmpfs of 2 MiB at tmp()/small; false (and the test skipped) where none can be had.
    bool mount_small()
    {
        std::string why;
        if (!m_small.mount(tmp() / "small", 2 << 20, why)) {
            m_why = why;
            return false;
        }
        return true;
    }
    std::string why() const { return m_why; }

    void make_raws(int count)
    {
        for (int i = 1; i <= count; ++i)
            add_raw("DCIM/100CANON/IMG_000" + std::to_string(i) + ".CR2", cardgen::kDayOne + i,
                    kRawBytes, i);
        card_done();
    }

    static std::uint64_t free_bytes(const fs::path& path)
    {
        struct statvfs vfs{};
        EXPECT_EQ(::statvfs(path.c_str(), &vfs), 0);
        return static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    }

    void expect_refused(const ProcessResult& r, const std::string& folders, std::uint64_t needed,
                        std::uint64_t available) const
    {
        EXPECT_EQ(r.exit_code, 1) << r.err;
        EXPECT_EQ(last_lines(output_lines(r.out), 3),
                  error_tail({"Not enough free space for " + folders + ": " + std::to_string(needed) +
                              " bytes needed, " + std::to_string(available) + " bytes free"}))
            << r.out;
        expect_card_unchanged();
    }

private:
    TmpfsMount m_small;
    std::string m_why;
};

TEST_F(FreeSpaceTest, BackupDiskTooSmallForTheCardIsRefusedBeforeAnythingIsWritten)
{
    if (!mount_small())
        GTEST_SKIP() << why();
    make_raws(4);
    IngestArgs a = args();
    a.backup = (tmp() / "small/backup").string();
    a.sidecar = template_path();  // raws get sidecars in the backup: a block each
    const std::uint64_t available = free_bytes(tmp() / "small");

    const ProcessResult r = run_copycard(a);

    expect_refused(r, "the backup folder \"" + a.backup + "\"", 4 * (kRawBytes + 4096), available);
    EXPECT_FALSE(fs::exists(a.backup));
    EXPECT_FALSE(fs::exists(a.primary));
    EXPECT_EQ(free_bytes(tmp() / "small"), available);
}

// Each tree alone would fit; together on one file system they do not.
TEST_F(FreeSpaceTest, BothTreesOnOneFileSystemCountTwice)
{
    if (!mount_small())
        GTEST_SKIP() << why();
    make_raws(2);
    IngestArgs a = args();
    a.backup = (tmp() / "small/backup").string();
    a.primary = (tmp() / "small/pictures/primary").string();
    const std::uint64_t available = free_bytes(tmp() / "small");
    ASSERT_LT(2 * kRawBytes, available);

    const ProcessResult r = run_copycard(a);

    expect_refused(r,
                   "the backup folder \"" + a.backup + "\" and the primary folder \"" + a.primary +
                       "\", which share a file system",
                   4 * kRawBytes, available);
    EXPECT_EQ(test::list_tree(tmp() / "small"), Lines{});
}

// A card that fits is ingested as ever, on the very same small disk.
TEST_F(FreeSpaceTest, CardThatFitsIsIngested)
{
    if (!mount_small())
        GTEST_SKIP() << why();
    make_raws(1);
    IngestArgs a = args();
    a.fmt = "EEEE";
    a.backup = (tmp() / "small/backup").string();
    a.primary = (tmp() / "small/primary").string();

    const ProcessResult r = run_copycard(a);

    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(test::list_tree(a.primary), Lines{"IMG_0001.CR2"});
    expect_card_unchanged();
}

}  // namespace
}  // namespace oakvane::e2e
