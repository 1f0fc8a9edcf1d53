#include "capture_clock.h"

#include "card_clock.h"
#include "card_file.h"
#include "card_source.h"
#include "file_kinds.h"
#include "run.h"
#include "text_format.h"

#include <algorithm>
#include <cstdlib>

namespace oakvane {

namespace {

constexpr long long kQuarterHour = 15 * 60;
// A photo's file is closed a moment after the shutter: with a long exposure and the
// camera's noise reduction, minutes after. A stamp may also read a little early (FAT keeps
// two-second steps; a camera's clock ticks between the two readings).
constexpr long long kEarliestWrite = -2 * 60;
constexpr long long kLatestWrite = 6 * 60;
// No zone is further than this from another; a larger shift is no zone's.
constexpr long long kLargestShift = 24 * 60 * 60;
constexpr std::size_t kSampleCount = 5;
// Enough for the metadata at the start of a JPEG or of a TIFF-based raw.
constexpr std::size_t kHeadBytes = 1024 * 1024;

// Keeps the first limit bytes of a file and then ends the read.
class HeadSink : public ChunkSink {
public:
    explicit HeadSink(std::size_t limit) : m_limit(limit) {}

    Status write(const char* data, std::size_t size) override
    {
        head.append(data, std::min(size, m_limit - head.size()));
        if (head.size() < m_limit)
            return {};
        full = true;
        return fail("enough read");
    }

    std::string head;
    bool full = false;

private:
    std::size_t m_limit;
};

// "23:30" for 84600 s; whole minutes, sign left to the caller.
std::string hours_minutes(long long seconds)
{
    const long long minutes = std::llabs(seconds) / 60;
    return format("%lld:%02lld", minutes / 60, minutes % 60);
}

std::string utc_text(std::time_t t)
{
    std::tm parts{};
    gmtime_r(&t, &parts);
    return format("%04d-%02d-%02d %02d:%02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
}

// "2:00 ahead of", "0:45 behind", "the same as".
std::string shift_text(long long shift)
{
    if (shift == 0)
        return "the same as";
    return hours_minutes(shift) + (shift > 0 ? " ahead of" : " behind");
}

std::string sample_text(const ClockSample& sample)
{
    std::string text = sample.path + " taken " + utc_text(sample.date.wall_clock);
    if (const std::optional<int> offset = sample.date.offset_minutes)
        text += format(" (%c%02d:%02d)", *offset < 0 ? '-' : '+', std::abs(*offset) / 60,
                       std::abs(*offset) % 60);
    return text + ", file time " + utc_text(sample.file_time) + " UTC";
}

// The quarter hours a sample's file time runs ahead of its capture date, where the rest is
// the moment it took to write the file.
std::optional<long long> sample_shift(const ClockSample& sample)
{
    const long long difference = static_cast<long long>(sample.file_time) - sample.date.wall_clock;
    long long quarters = (difference - kEarliestWrite) / kQuarterHour;
    if ((difference - kEarliestWrite) % kQuarterHour < 0)
        --quarters;  // rounded down, also below zero
    const long long shift = quarters * kQuarterHour;
    if (difference - shift > kLatestWrite || std::llabs(shift) > kLargestShift)
        return std::nullopt;
    return shift;
}

// The card's photos in walk order, regular files that are not hidden.
Status list_photos(Run& run, std::vector<CardItem>& photos)
{
    return run.card.list([&](const CardItem& item) {
        bool copy = false;
        if (Status classified = classify_card_entry(item, copy); !classified || !copy)
            return classified;
        if (is_jpeg_path(item.path) || is_raw_file(item.path))
            photos.push_back(item);
        return Status();
    });
}

// Up to kSampleCount of them spread over the card in the order of their names (a camera's
// order of shooting), first and last included: a card shot over days of changing zones is
// then the more likely to show it.
std::vector<CardItem> spread_sample(std::vector<CardItem> photos)
{
    std::sort(photos.begin(), photos.end(),
              [](const CardItem& a, const CardItem& b) { return a.path < b.path; });
    if (photos.size() <= kSampleCount)
        return photos;
    std::vector<CardItem> picked;
    for (std::size_t i = 0; i < kSampleCount; ++i)
        picked.push_back(photos[i * (photos.size() - 1) / (kSampleCount - 1)]);
    return picked;
}

// Reads one photo's capture date into samples; a photo without one is only traced.
Status read_sample(Run& run, const CardItem& item, std::vector<ClockSample>& samples)
{
    HeadSink sink(kHeadBytes);
    if (Status read = run.card.read(run, item, sink); !read && !sink.full) {
        if (read.failure().stopped())
            return read;
        run.diagnostic("card times: " + read.failure().text());
        return {};
    }
    std::string why;
    const std::optional<CaptureDate> date = run.request.capture_dates(sink.head, why);
    if (!date) {
        run.diagnostic("card times: " + item.path + " has no capture date: " + why);
        return {};
    }
    samples.push_back({item.path, item.st.st_mtime, *date});
    run.diagnostic("card times: " + sample_text(samples.back()));
    return {};
}

}  // namespace

std::optional<long long> agreed_clock_shift(const std::vector<ClockSample>& samples, std::string& why)
{
    if (samples.empty()) {
        why = "no photo with a capture date";
        return std::nullopt;
    }
    std::optional<long long> agreed;
    for (const ClockSample& sample : samples) {
        const std::optional<long long> shift = sample_shift(sample);
        if (!shift) {
            why = sample.path + "'s file time is no zone away from its capture date";
            return std::nullopt;
        }
        if (agreed && *agreed != *shift) {
            why = format("the photos disagree: %s's file time is %s its capture date, %s's %s",
                         samples.front().path.c_str(), shift_text(*agreed).c_str(),
                         sample.path.c_str(), shift_text(*shift).c_str());
            return std::nullopt;
        }
        agreed = shift;
    }
    return agreed;
}

bool clock_from_photos(unsigned long fs_type)
{
    return fs_type == posix::kExfatMagic || fs_type == posix::kFuseMagic;
}

Status calibrate_card_clock(Run& run)
{
    std::vector<CardItem> photos;
    if (Status listed = list_photos(run, photos); !listed)
        return listed;
    std::vector<ClockSample> samples;
    for (const CardItem& item : spread_sample(photos))
        if (Status read = read_sample(run, item, samples); !read)
            return read;
    std::string why;
    const std::optional<long long> shift = agreed_clock_shift(samples, why);
    if (!shift) {
        run.diagnostic("card times: " + why + "; keeping the file system's rule");
        return {};
    }
    run.card_clock = posix::CardClock{true, *shift};
    run.diagnostic(format("card times: %zu photos agree that their file times are %s their "
                          "camera's clock",
                          samples.size(), shift_text(*shift).c_str()));
    return {};
}

}  // namespace oakvane
