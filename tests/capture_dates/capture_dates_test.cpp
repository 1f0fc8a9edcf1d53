// Capture dates read through libexiv2 from the first bytes of photos, and the library kept
// off standard error.

#include "capture_dates.h"
#include "cardgen.h"
#include "exif_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace oakvane;

namespace {

constexpr std::time_t kBerlinLateShot = 1720999800;  // 2024-07-14 23:30:00 as UTC

std::string bytes(const std::vector<unsigned char>& data)
{
    return std::string(data.begin(), data.end());
}

std::vector<unsigned char> small_jpeg()
{
    cardgen::JpegOptions options;
    options.width = 32;
    options.height = 24;
    return cardgen::make_jpeg(options);
}

struct DatedCase {
    const char* what;
    std::vector<unsigned char> photo;
    std::optional<int> offset_minutes;
};

TEST(CaptureDates, DateAndOffsetOfJpegsAndTiffRaws)
{
    const DatedCase cases[] = {
        {"JPEG east of UTC", cardgen::with_exif(small_jpeg(), "2024:07:14 23:30:00", "+02:00"), 120},
        {"JPEG west of UTC", cardgen::with_exif(small_jpeg(), "2024:07:14 23:30:00", "-05:30"), -330},
        {"JPEG without offset", cardgen::with_exif(small_jpeg(), "2024:07:14 23:30:00"), std::nullopt},
        {"TIFF-based raw", cardgen::exif_tiff("2024:07:14 23:30:00", "+00:00"), 0},
        {"malformed offset", cardgen::with_exif(small_jpeg(), "2024:07:14 23:30:00", "+2h"), std::nullopt},
    };
    for (const DatedCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string why;
        const std::optional<CaptureDate> date = read_capture_date(bytes(c.photo), why);
        ASSERT_TRUE(date) << why;
        EXPECT_EQ(date->wall_clock, kBerlinLateShot);
        EXPECT_EQ(date->offset_minutes, c.offset_minutes);
    }
}

struct UndatedCase {
    const char* what;
    std::string head;
    const char* why;  // the start of the reason given
};

// None of these may end the program or reach standard error, whatever the library thinks
// of them.
TEST(CaptureDates, PhotosWithoutADateSayWhyAndStayOffStandardError)
{
    std::vector<unsigned char> bad_pointer = cardgen::with_exif(small_jpeg(), "2024:07:14 23:30:00");
    bad_pointer[12 + 8 + 2 + 8] = 0xff;  // the Exif IFD's offset points far past the segment
    const UndatedCase cases[] = {
        {"JPEG without Exif", bytes(small_jpeg()), "no DateTimeOriginal"},
        {"camera clock never set", bytes(cardgen::with_exif(small_jpeg(), "0000:00:00 00:00:00")),
         "DateTimeOriginal \"0000:00:00 00:00:00\" is no date"},
        {"blank date", bytes(cardgen::with_exif(small_jpeg(), "    :  :     :  :  ")), "DateTimeOriginal"},
        {"Exif pointer out of bounds", bytes(bad_pointer), "no DateTimeOriginal"},
        {"no image", std::string(4096, 'x'), "the metadata library can't read it: "},
        {"nothing", std::string(), "the metadata library can't read it: "},
    };
    for (const UndatedCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string why;
        testing::internal::CaptureStderr();
        const std::optional<CaptureDate> date = read_capture_date(c.head, why);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_FALSE(date);
        EXPECT_EQ(why.rfind(c.why, 0), 0u) << why;
    }
}

}  // namespace
