// Date folders and names of photos on real exFAT images read through exfat-fuse, whose
// entries do or do not carry the camera's zone: copycard takes the card's clock from the
// photos' capture dates.

#include "e2e_support.h"
#include "exfat_card.h"

#include <algorithm>

namespace oakvane::e2e {
namespace {

// exfat-fuse reads an entry without a zone in the zone of the mount's moment: a fixed three
// hours east here, so that the runs do not depend on the season they are made in. The runs
// themselves are in Berlin's zone, two hours east in summer.
const char* const kMountZone = "TZ=<+03>-3";
const char* const kRunZone = "TZ=Europe/Berlin";

// "2024-07-14/IMG_20240714_20240714_233000.JPG" for a photo shot at 2024:07:14 23:30:00 by
// that clock.
std::string primary_name(const std::string& clock)
{
    const std::string date = clock.substr(0, 4) + clock.substr(5, 2) + clock.substr(8, 2);
    const std::string time = clock.substr(11, 2) + clock.substr(14, 2) + clock.substr(17, 2);
    return clock.substr(0, 4) + "-" + clock.substr(5, 2) + "-" + clock.substr(8, 2) + "/IMG_" +
           date + "_" + date + "_" + time + ".JPG";
}

class ExfatFuseCard : public ::testing::Test {
protected:
    // False, with the reason in skipped, where exfat-fuse can't mount here.
    bool make_card(const std::vector<ExfatShot>& shots)
    {
        mounted = exfat_fuse_card(dir.str(), shots, kMountZone, skipped);
        return mounted != nullptr;
    }

    ProcessResult ingest()
    {
        IngestArgs args;
        args.card = dir / "card/DCIM";
        args.backup = dir / "backup";
        args.primary = dir / "primary";
        args.texts = {"IMG", "", "", ""};
        args.fmt = "SDTE";
        args.switches = "D--";
        return test::run_process(args.argv(), {kRunZone});
    }

    std::vector<std::string> primary() const
    {
        std::vector<std::string> files = test::list_tree(dir / "primary");
        std::sort(files.begin(), files.end());
        return files;
    }

    test::TempDir dir;
    std::unique_ptr<test::Mount> mounted;
    std::string skipped;
};

// Entries without a zone are read in the zone the mount was made in, three hours east, while
// Berlin's summer is two: local time would file them an hour early.
TEST_F(ExfatFuseCard, EntriesWithoutZoneGetTheCamerasClock)
{
    if (!make_card({{"IMG_0001.JPG", "2024:07:14 23:30:00", "", std::nullopt},
                    {"IMG_0002.JPG", "2024:07:15 09:15:00", "", std::nullopt}}))
        GTEST_SKIP() << skipped;
    const ProcessResult run = ingest();
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_EQ(primary(), (std::vector<std::string>{primary_name("2024:07:14 23:30:00"),
                                                   primary_name("2024:07:15 09:15:00")}));
    EXPECT_NE(run.err.find("card times: 2 photos agree that their file times are 3:00 behind"),
              std::string::npos)
        << run.err;
}

// Entries that carry the camera's zone (New York's summer, four hours west) are true points
// in time; local time would file a late shot in Berlin's next morning.
TEST_F(ExfatFuseCard, EntriesWithTheCamerasZoneGetTheCamerasClock)
{
    if (!make_card({{"IMG_0001.JPG", "2024:07:14 22:30:00", "-04:00", -240},
                    {"IMG_0002.JPG", "2024:07:14 23:45:00", "-04:00", -240}}))
        GTEST_SKIP() << skipped;
    const ProcessResult run = ingest();
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_EQ(primary(), (std::vector<std::string>{primary_name("2024:07:14 22:30:00"),
                                                   primary_name("2024:07:14 23:45:00")}));
}

// One entry with the zone and one without: no clock serves both, and the file system's rule
// (local time on FUSE) stays, as the trace says.
TEST_F(ExfatFuseCard, DisagreeingPhotosKeepTheFileSystemsRule)
{
    if (!make_card({{"IMG_0001.JPG", "2024:07:14 23:30:00", "", std::nullopt},
                    {"IMG_0002.JPG", "2024:07:14 22:30:00", "-04:00", -240}}))
        GTEST_SKIP() << skipped;
    const ProcessResult run = ingest();
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    // 20:30 UTC and 02:30 UTC the next day, in Berlin's summer.
    EXPECT_EQ(primary(), (std::vector<std::string>{primary_name("2024:07:14 22:30:00"),
                                                   primary_name("2024:07:15 04:30:00")}));
    EXPECT_NE(run.err.find("the photos disagree"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("keeping the file system's rule"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace oakvane::e2e
