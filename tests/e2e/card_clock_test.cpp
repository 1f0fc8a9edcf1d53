// Date folders and names of photos on real exFAT images read through exfat-fuse, whose
// entries do or do not carry the camera's zone: copycard takes the card's clock from the
// photos' capture dates.

#include "e2e_support.h"
#include "exif_data.h"
#include "exfat_image.h"
#include "mounts.h"

#include <algorithm>

namespace oakvane::e2e {
namespace {

// exfat-fuse reads an entry without a zone in the zone of the mount's moment: a fixed three
// hours east here, so that the runs do not depend on the season they are made in. The runs
// themselves are in Berlin's zone, two hours east in summer.
const char* const kMountZone = "TZ=<+03>-3";
const char* const kRunZone = "TZ=Europe/Berlin";

struct Shot {
    const char* name;
    const char* taken;        // DateTimeOriginal, the camera's clock
    const char* exif_offset;  // OffsetTimeOriginal, "" for none
    std::optional<int> entry_offset;  // the directory entry's UTC offset, in minutes
};

std::time_t utc(const char* text)
{
    std::tm parts{};
    strptime(text, "%Y:%m:%d %H:%M:%S", &parts);
    return timegm(&parts);
}

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
    void SetUp() override
    {
        if (const std::string refused = test::exfat_fuse_refusal(dir.str()); !refused.empty())
            GTEST_SKIP() << "exFAT through FUSE can't be tested here: " << refused;
    }

    // Writes the shots through a mount in UTC (their entries then hold the camera's clock as
    // it is), gives each entry its offset, and mounts the card again in kMountZone. False,
    // with the reason in skipped, where FUSE mounts fail on this machine.
    bool make_card(const std::vector<Shot>& shots)
    {
        const std::string image = dir / "card.img";
        EXPECT_EQ(test::make_exfat_image(image), "");
        {
            test::Mount writing({"-t", "exfat-fuse", "-o", "loop", image}, dir / "card", {"TZ=UTC"});
            if (!writing.ok()) {
                skipped = "exfat-fuse can't mount an image here: " + writing.error();
                return false;
            }
            cardgen::JpegOptions small;
            small.width = 32;
            small.height = 24;
            for (const Shot& shot : shots) {
                const std::string path = dir / (std::string("card/DCIM/100CAMRA/") + shot.name);
                fs::create_directories(fs::path(path).parent_path());
                cardgen::write_file_bytes(path, cardgen::with_exif(cardgen::make_jpeg(small), shot.taken,
                                                                   shot.exif_offset));
                cardgen::set_file_time(path, utc(shot.taken));
            }
            EXPECT_TRUE(writing.unmount()) << writing.error();
        }
        for (const Shot& shot : shots)
            EXPECT_EQ(test::set_exfat_utc_offset(image, shot.name, shot.entry_offset), "");
        mounted.emplace(std::vector<std::string>{"-t", "exfat-fuse", "-o", "loop", image},
                        dir / "card", std::vector<std::string>{kMountZone});
        EXPECT_TRUE(mounted->ok()) << mounted->error();
        return mounted->ok();
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
    std::optional<test::Mount> mounted;
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
