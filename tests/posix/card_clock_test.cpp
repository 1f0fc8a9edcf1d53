#include "card_clock.h"
#include "mounts.h"
#include "process.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <utime.h>

using namespace oakvane;
namespace fs = std::filesystem;

namespace {

constexpr unsigned long kExt4 = 0xef53;
constexpr unsigned long kTmpfs = 0x01021994;
constexpr unsigned long kFuse = 0x65735546;

struct ClockCase {
    const char* what;
    unsigned long fs_type;
    const char* options;
    int minutes_west;
    bool wall_clock;
    long long kernel_shift;
};

// Berlin in winter is 60 minutes east (-60 west); New York 300 minutes west.
const ClockCase kCases[] = {
    {"vfat as desktops mount it, UTC kernel", posix::kVfatMagic,
     "rw,fmask=0022,dmask=0022,codepage=437,iocharset=utf8,shortname=mixed,errors=remount-ro", 0,
     true, 0},
    {"vfat with time_offset=-120", posix::kVfatMagic, "fmask=0022,time_offset=-120,errors=remount-ro",
     0, true, 7200},
    {"vfat with time_offset beats the kernel zone", posix::kVfatMagic, "time_offset=60", 300, true,
     -3600},
    {"vfat with tz=UTC ignores the kernel zone", posix::kVfatMagic, "fmask=0022,tz=UTC", -60, true, 0},
    {"vfat, kernel zone set to Berlin", posix::kVfatMagic, "fmask=0022", -60, true, -3600},
    {"vfat, kernel zone set to New York", posix::kVfatMagic, "", 300, true, 18000},
    {"exfat by default ignores the kernel zone", posix::kExfatMagic, "rw,iocharset=utf8,errors=remount-ro",
     -60, true, 0},
    {"exfat with sys_tz takes the kernel zone", posix::kExfatMagic, "iocharset=utf8,sys_tz", 300, true,
     18000},
    {"exfat with time_offset=-120", posix::kExfatMagic, "time_offset=-120", -60, true, 7200},
    {"ext4 keeps points in time", kExt4, "rw,relatime,tz=UTC", -60, false, 0},
    {"tmpfs keeps points in time", kTmpfs, "rw,size=2048k", 300, false, 0},
    {"a FUSE exFAT reader keeps points in time", kFuse, "rw,user_id=0", -60, false, 0},
};

TEST(CardClock, DecisionTable)
{
    for (const ClockCase& c : kCases) {
        SCOPED_TRACE(c.what);
        const posix::CardClock clock = posix::decide_card_clock(c.fs_type, c.options, c.minutes_west);
        EXPECT_EQ(clock.wall_clock, c.wall_clock);
        EXPECT_EQ(clock.kernel_shift, c.kernel_shift);
    }
}

// Option names are matched whole: a longer name that merely begins with one is not it.
TEST(CardClock, OptionsMatchWholeNames)
{
    EXPECT_EQ(posix::decide_card_clock(posix::kVfatMagic, "tz=UTC0,xtime_offset=5", -60).kernel_shift,
              -3600);
    EXPECT_EQ(posix::decide_card_clock(posix::kExfatMagic, "sys_tzx,time_offset=30", 300).kernel_shift,
              -1800);
}

TEST(CardClock, ReadsTypeAndOptionsOfTheMountHoldingAFolder)
{
    test::TempDir dir;
    if (const std::string why = test::mount_refusal(dir.str()); !why.empty())
        GTEST_SKIP() << why;
    test::Mount card({"-t", "tmpfs", "-o", "size=2m", "tmpfs"}, dir / "card");
    ASSERT_TRUE(card.ok()) << card.error();
    fs::create_directories(dir / "card/DCIM/100CANON");

    unsigned long type = 0;
    EXPECT_EQ(posix::file_system_type(dir / "card/DCIM/100CANON", type), 0);
    EXPECT_EQ(type, kTmpfs);
    std::string options;
    std::string why;
    ASSERT_TRUE(posix::mount_fs_options(dir / "card/DCIM/100CANON", options, why)) << why;
    EXPECT_NE(("," + options + ",").find(",size=2048k,"), std::string::npos) << options;

    EXPECT_EQ(posix::file_system_type(dir / "missing", type), ENOENT);
    EXPECT_FALSE(posix::mount_fs_options(dir / "missing", options, why));
    EXPECT_NE(why.find(dir / "missing"), std::string::npos) << why;
}

// The camera's wall-clock of a card file, as the engine would recover it.
std::time_t wall_clock_of(const std::string& path)
{
    struct stat st {};
    unsigned long type = 0;
    std::string options;
    std::string why;
    int minutes_west = 0;
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(posix::file_system_type(path, type), 0);
    EXPECT_TRUE(posix::mount_fs_options(path, options, why)) << why;
    EXPECT_TRUE(posix::kernel_minutes_west(minutes_west));
    const posix::CardClock clock = posix::decide_card_clock(type, options, minutes_west);
    EXPECT_TRUE(clock.wall_clock) << options;
    return st.st_mtime - clock.kernel_shift;
}

// A real vfat card, where the machine has the driver: the same zone-less stamp must give the
// same wall-clock whatever zone the mount reads it in. (Linux writes exFAT stamps with an
// offset, which no mount zone touches, so exFAT can't be checked this way.)
TEST(CardClock, RealVfatCardGivesOneWallClockUnderEveryMountZone)
{
    std::ifstream filesystems("/proc/filesystems");
    const std::string known((std::istreambuf_iterator<char>(filesystems)), {});
    utsname uts{};
    uname(&uts);
    if (known.find("\tvfat\n") == std::string::npos &&
        !fs::exists(std::string("/lib/modules/") + uts.release + "/kernel/fs/fat"))
        GTEST_SKIP() << "the vfat module is missing on this machine (the build machines have none)";
    test::TempDir dir;
    if (const std::string why = test::mount_refusal(dir.str()); !why.empty())
        GTEST_SKIP() << why;
    const std::string image = dir / "card.img";
    if (access("/usr/sbin/mkfs.vfat", X_OK) != 0)
        GTEST_SKIP() << "mkfs.vfat is missing (dosfstools)";
    const test::ProcessResult made = test::run_process({"/usr/sbin/mkfs.vfat", "-C", image, "8192"});
    ASSERT_EQ(made.exit_code, 0) << made.err;

    const std::string shot = dir / "card/IMG_0001.JPG";
    const std::time_t stamped = 1720999800;  // 2024-07-14 23:30:00 as UTC
    {
        test::Mount card({"-t", "vfat", "-o", "loop,time_offset=-120", image}, dir / "card");
        ASSERT_TRUE(card.ok()) << card.error();
        test::write_file(shot, "jpeg");
        const utimbuf times{stamped, stamped};
        ASSERT_EQ(utime(shot.c_str(), &times), 0);
        EXPECT_EQ(wall_clock_of(shot), stamped - 7200);
    }
    test::Mount again({"-t", "vfat", "-o", "loop", image}, dir / "card");
    ASSERT_TRUE(again.ok()) << again.error();
    EXPECT_EQ(wall_clock_of(shot), stamped - 7200);
}

}  // namespace
