// Date folders and date names of a card whose times are the camera's zone-less wall-clock.

#include "cardgen.h"
#include "engine.h"
#include "naming.h"
#include "recording_host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <sys/stat.h>

using namespace oakvane;
namespace fs = std::filesystem;

namespace {

constexpr std::time_t kBerlinLateShot = 1720999800;  // 2024-07-14 23:30:00 as UTC
constexpr std::time_t kNewYorkEarlyShot = 1705284000;  // 2024-01-15 02:00:00 as UTC

// Sets an environment variable (unsets it for nullptr) for one scope; TZ takes effect at once.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        set(value);
    }
    ~ScopedEnv() { set(m_old ? m_old->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void set(const char* value)
    {
        if (value)
            setenv(m_name.c_str(), value, 1);
        else
            unsetenv(m_name.c_str());
        tzset();
    }
    std::string m_name;
    std::optional<std::string> m_old;
};

// Runs the engine on args as copycard would, its output going to host; its result.
int copycard(const std::vector<std::string>& args, test::RecordingHost& host)
{
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    CopycardResult result;
    return copycard_main(static_cast<int>(argv.size()), argv.data(), host, result);
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

struct Placed {
    std::vector<std::string> backup;
    std::vector<std::string> primary;
};

// Ingests a card holding one raw shot stamped when, with three date levels and a name of
// text, date and date-time; what the run placed in each tree.
Placed ingest_one_shot(std::time_t when)
{
    test::TempDir dir;
    const std::string card = dir / "card/DCIM";
    test::write_file(card + "/IMG_0001.CR2", cardgen::small_dng(1));
    cardgen::set_file_time(card + "/IMG_0001.CR2", when);
    const std::vector<std::string> args = {
        "copycard", "copy", card, dir / "backup", dir / "primary", "none", "3", "IMG", "", "", "",
        "SDTE", "-p1", "", "-", "", "D--", "1", "Wedding"};
    test::RecordingHost host;
    EXPECT_EQ(copycard(args, host), 1) << joined(host.lines);
    Placed placed{test::list_tree(dir / "backup"), test::list_tree(dir / "primary")};
    for (const std::string& root : {dir / "backup", dir / "primary"})
        for (const std::string& file : test::list_tree(root)) {
            struct stat st {};
            EXPECT_EQ(stat((root + "/" + file).c_str(), &st), 0);
            EXPECT_EQ(st.st_mtime, when) << "a copy keeps the card file's time: " << file;
        }
    return placed;
}

struct ZoneCase {
    const char* tz;
    std::time_t shot;
    const char* wall_clock_file;  // where the camera's clock puts it
    const char* local_file;       // where local time puts the same stamp
};

// Berlin is two hours east of UTC in summer: local time moves a late shot into the next
// day. New York is five hours west in winter: an early shot moves into the day before.
const ZoneCase kZones[] = {
    {"Europe/Berlin", kBerlinLateShot, "2024/07/2024-07-14/IMG_20240714_20240714_233000.CR2",
     "2024/07/2024-07-15/IMG_20240715_20240715_013000.CR2"},
    {"America/New_York", kNewYorkEarlyShot, "2024/01/2024-01-15/IMG_20240115_20240115_020000.CR2",
     "2024/01/2024-01-14/IMG_20240114_20240114_210000.CR2"},
};

TEST(CardTime, WallClockCardKeepsTheCamerasDateInEveryZone)
{
    for (const ZoneCase& zone : kZones) {
        SCOPED_TRACE(zone.tz);
        ScopedEnv tz("TZ", zone.tz);
        {
            ScopedEnv clock("OAKVANE_CARD_CLOCK", "wall-clock");
            const Placed placed = ingest_one_shot(zone.shot);
            EXPECT_EQ(placed.backup, std::vector<std::string>{zone.wall_clock_file});
            EXPECT_EQ(placed.primary, std::vector<std::string>{zone.wall_clock_file});
        }
        ScopedEnv clock("OAKVANE_CARD_CLOCK", "local");
        EXPECT_EQ(ingest_one_shot(zone.shot).backup, std::vector<std::string>{zone.local_file});
    }
}

// The card folder of these tests is on no FAT file system, so its times are real points in
// time and stay in local time, also after a run that read a card as wall-clock.
TEST(CardTime, OtherFileSystemsKeepLocalTime)
{
    ScopedEnv tz("TZ", "Europe/Berlin");
    {
        ScopedEnv clock("OAKVANE_CARD_CLOCK", "wall-clock");
        ingest_one_shot(kBerlinLateShot);
    }
    ScopedEnv clock("OAKVANE_CARD_CLOCK", nullptr);
    EXPECT_EQ(ingest_one_shot(kBerlinLateShot).backup,
              std::vector<std::string>{"2024/07/2024-07-15/IMG_20240715_20240715_013000.CR2"});
}

TEST(CardTime, UnknownForcedClockFailsBeforeCopying)
{
    ScopedEnv clock("OAKVANE_CARD_CLOCK", "utc");
    test::TempDir dir;
    test::write_file(dir / "card/DCIM/IMG_0001.CR2", "raw");
    const std::vector<std::string> args = {
        "copycard", "copy", dir / "card/DCIM", dir / "backup", dir / "primary", "none", "1", "IMG",
        "", "", "", "SDNE", "-p1", "", "-", "", "D--", "1", "Wedding"};
    test::RecordingHost host;
    EXPECT_EQ(copycard(args, host), 0);
    const auto error = std::find(host.lines.begin(), host.lines.end(), "ERROR:");
    ASSERT_NE(error, host.lines.end()) << joined(host.lines);
    EXPECT_EQ(std::vector<std::string>(error + 1, host.lines.end()),
              std::vector<std::string>{"OAKVANE_CARD_CLOCK must be \"local\" or \"wall-clock\""});
    EXPECT_FALSE(fs::exists(dir / "backup"));
}

// The kernel's shift is taken back in the right direction: a vfat mount in Berlin's winter
// zone reports the stamp an hour early, one with time_offset=-120 two hours late.
TEST(CardTime, KernelShiftIsUndone)
{
    test::StepRun step;
    step.run.card_clock = {true, -3600};
    EXPECT_EQ(date_time_text(step.run, kBerlinLateShot - 3600), "20240714_233000");
    step.run.card_clock = {true, 7200};
    EXPECT_EQ(date_time_text(step.run, kBerlinLateShot + 7200), "20240714_233000");
}

}  // namespace
