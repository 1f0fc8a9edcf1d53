// A card's clock taken from its photos' capture dates: file times and capture dates are
// injected (a card folder that says it is exFAT or FUSE, a reader that takes the date from
// the file's text), so every case runs without the drivers.

#include "capture_clock.h"
#include "card_time.h"
#include "cardgen.h"
#include "naming.h"
#include "recording_host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

using namespace oakvane;

namespace {

constexpr long long kHour = 3600;

// A card folder on whatever file system the test says.
class TypedFolder : public FolderSource {
public:
    TypedFolder(std::string folder, unsigned long type) : FolderSource(std::move(folder)), m_type(type) {}
    int file_system_type(unsigned long& type) override
    {
        type = m_type;
        return 0;
    }

private:
    unsigned long m_type;
};

// The file's text is its capture date: "YYYY:MM:DD HH:MM:SS" and an optional " +HH:MM".
std::optional<CaptureDate> date_from_text(std::string_view head, std::string& why)
{
    std::tm parts{};
    const std::string text(head);
    const char* rest = strptime(text.c_str(), "%Y:%m:%d %H:%M:%S", &parts);
    if (!rest) {
        why = "no date in \"" + text + "\"";
        return std::nullopt;
    }
    CaptureDate date{timegm(&parts), std::nullopt};
    int hours = 0;
    int minutes = 0;
    if (std::sscanf(rest, " %d:%d", &hours, &minutes) == 2)
        date.offset_minutes = hours * 60 + (hours < 0 ? -minutes : minutes);
    return date;
}

std::time_t utc(const char* text)
{
    std::tm parts{};
    strptime(text, "%Y:%m:%d %H:%M:%S", &parts);
    return timegm(&parts);
}

struct Shot {
    const char* taken;   // the camera's clock, as DateTimeOriginal
    const char* offset;  // OffsetTimeOriginal, "" for none
    long long file_minus_taken;  // the file time less the capture date read as UTC
};

struct Card {
    explicit Card(unsigned long type, const std::vector<Shot>& shots)
        : card(dir / "card/DCIM", type), run(request(), host, writer, card)
    {
        for (std::size_t i = 0; i < shots.size(); ++i) {
            const std::string path = dir / ("card/DCIM/IMG_" + std::to_string(1000 + i) + ".JPG");
            const std::string offset = *shots[i].offset ? std::string(" ") + shots[i].offset : "";
            test::write_file(path, shots[i].taken + offset);
            file_times.push_back(utc(shots[i].taken) + shots[i].file_minus_taken);
            cardgen::set_file_time(path, file_times.back());
        }
    }

    RunRequest request()
    {
        RunRequest wanted;
        wanted.card_folder = dir / "card/DCIM";
        wanted.capture_dates = [this](std::string_view head, std::string& why) {
            ++reads;
            return date_from_text(head, why);
        };
        return wanted;
    }

    bool traced(const std::string& part) const
    {
        return std::any_of(host.diagnostics.begin(), host.diagnostics.end(),
                           [&](const std::string& line) { return line.find(part) != std::string::npos; });
    }

    test::TempDir dir;
    test::RecordingHost host;
    DiskWriter writer;
    TypedFolder card;
    Run run;
    std::vector<std::time_t> file_times;
    int reads = 0;
};

struct CalibrationCase {
    const char* what;
    unsigned long type;
    std::vector<Shot> shots;
    std::optional<long long> shift;  // the agreed shift; none: the file system's rule stays
};

const CalibrationCase kCases[] = {
    {"exFAT entries without a zone: the stamps are the camera's clock", posix::kExfatMagic,
     {{"2024:07:14 23:30:00", "", 0}, {"2024:07:15 08:00:00", "", 3}}, 0},
    {"exFAT entries with the camera's zone east of UTC", posix::kExfatMagic,
     {{"2024:07:14 23:30:00", "+02:00", -2 * kHour + 1}, {"2024:07:15 00:10:00", "+02:00", -2 * kHour}},
     -2 * kHour},
    {"exFAT entries with the camera's zone west of UTC", posix::kExfatMagic,
     {{"2024:01:14 22:00:00", "-05:00", 5 * kHour}, {"2024:01:14 23:59:00", "-05:00", 5 * kHour}},
     5 * kHour},
    {"a zone of quarter hours; the camera recorded no offset in the photo", posix::kExfatMagic,
     {{"2024:03:01 00:15:00", "", -5 * kHour - 45 * 60}}, -5 * kHour - 45 * 60},
    {"a long exposure's file is written minutes after the shutter opened", posix::kExfatMagic,
     {{"2024:07:14 23:30:00", "+02:00", -2 * kHour}, {"2024:07:14 23:50:00", "+02:00", -2 * kHour + 300}},
     -2 * kHour},
    {"a FUSE reader's zone of the mount's moment, an hour off the summer's", posix::kFuseMagic,
     {{"2024:07:14 23:30:00", "", -kHour}, {"2024:07:15 10:00:00", "", -kHour}}, -kHour},
    {"photos that disagree", posix::kExfatMagic,
     {{"2024:07:14 23:30:00", "+02:00", -2 * kHour}, {"2024:07:15 00:10:00", "", 0}}, std::nullopt},
    {"a file time no zone away from the capture date", posix::kExfatMagic,
     {{"2024:07:14 23:30:00", "", 67 * 60}}, std::nullopt},
    {"a file time more than a day away", posix::kFuseMagic,
     {{"2024:07:14 23:30:00", "", 30 * kHour}}, std::nullopt},
};

TEST(CaptureClock, CardClockIsTheShiftThePhotosAgreeOn)
{
    for (const CalibrationCase& c : kCases) {
        SCOPED_TRACE(c.what);
        Card card(c.type, c.shots);
        ASSERT_TRUE(decide_card_clock(card.run));
        EXPECT_EQ(card.reads, static_cast<int>(c.shots.size()));
        if (c.shift) {
            EXPECT_TRUE(card.run.card_clock.wall_clock);
            EXPECT_EQ(card.run.card_clock.kernel_shift, *c.shift);
            EXPECT_TRUE(card.traced("agree")) << testing::PrintToString(card.host.diagnostics);
            // Every photo gets its camera's day and hour, across the day boundary (the
            // minutes are the file's, written a moment after the shot).
            for (std::size_t i = 0; i < c.shots.size(); ++i) {
                std::string expected = c.shots[i].taken;
                expected.erase(std::remove(expected.begin(), expected.end(), ':'), expected.end());
                std::replace(expected.begin(), expected.end(), ' ', '_');
                EXPECT_EQ(date_time_text(card.run, card.file_times[i]).substr(0, 11), expected.substr(0, 11));
            }
        } else {
            // The file system's own rule: exFAT's stamps as UTC here (no mount option of
            // the test folder's says otherwise), a FUSE reader's in local time.
            EXPECT_EQ(card.run.card_clock.wall_clock, c.type == posix::kExfatMagic);
            EXPECT_EQ(card.run.card_clock.kernel_shift, 0);
            EXPECT_TRUE(card.traced("keeping the file system's rule"))
                << testing::PrintToString(card.host.diagnostics);
        }
    }
}

// The photos read are spread over the card: one that disagrees at its very end counts.
TEST(CaptureClock, LastPhotoOfALongCardIsAmongThoseRead)
{
    std::vector<Shot> shots(12, Shot{"2024:07:14 20:00:00", "+02:00", -2 * kHour});
    shots.back() = Shot{"2024:07:14 21:00:00", "", 0};
    Card card(posix::kExfatMagic, shots);
    ASSERT_TRUE(decide_card_clock(card.run));
    EXPECT_EQ(card.reads, 5);
    EXPECT_EQ(card.run.card_clock.kernel_shift, 0);
    EXPECT_TRUE(card.traced("the photos disagree")) << testing::PrintToString(card.host.diagnostics);
}

// Photos without a capture date are passed over; those that have one decide.
TEST(CaptureClock, PhotosWithoutCaptureDateAreLeftOut)
{
    Card card(posix::kExfatMagic, {{"2024:07:14 23:30:00", "+02:00", -2 * kHour}});
    test::write_file(card.dir / "card/DCIM/IMG_0999.JPG", "no date here");
    ASSERT_TRUE(decide_card_clock(card.run));
    EXPECT_EQ(card.reads, 2);
    EXPECT_EQ(card.run.card_clock.kernel_shift, -2 * kHour);
    EXPECT_TRUE(card.traced("IMG_0999.JPG has no capture date: no date in"));

    Card none(posix::kExfatMagic, {});
    test::write_file(none.dir / "card/DCIM/IMG_0999.JPG", "no date here");
    ASSERT_TRUE(decide_card_clock(none.run));
    EXPECT_TRUE(none.traced("no photo with a capture date; keeping the file system's rule"));
}

// FAT's rule is right in every case and other file systems keep real points in time: no
// photo is read there. A forced clock overrides the photos too.
TEST(CaptureClock, OnlyExfatAndFuseCardsAreCalibrated)
{
    const std::vector<Shot> shots = {{"2024:07:14 23:30:00", "+02:00", -2 * kHour}};
    for (const unsigned long type : {posix::kVfatMagic, 0xef53ul}) {
        Card card(type, shots);
        ASSERT_TRUE(decide_card_clock(card.run));
        EXPECT_EQ(card.reads, 0);
    }
    setenv("OAKVANE_CARD_CLOCK", "local", 1);
    Card forced(posix::kExfatMagic, shots);
    const Status decided = decide_card_clock(forced.run);
    unsetenv("OAKVANE_CARD_CLOCK");
    ASSERT_TRUE(decided);
    EXPECT_EQ(forced.reads, 0);
    EXPECT_FALSE(forced.run.card_clock.wall_clock);
}

TEST(CaptureClock, StopWhileReadingPhotosStopsTheRun)
{
    Card card(posix::kExfatMagic, {{"2024:07:14 23:30:00", "+02:00", -2 * kHour}});
    card.host.stop = 1;
    const Status decided = decide_card_clock(card.run);
    ASSERT_FALSE(decided);
    EXPECT_TRUE(decided.failure().stopped());
}

}  // namespace
