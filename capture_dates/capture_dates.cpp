#include "capture_dates.h"

#include "errtrace.h"

#include <exiv2/exiv2.hpp>

#include <charconv>
#include <cstdio>
#include <ctime>
#include <exception>

namespace oakvane {

namespace {

// libexiv2 writes its warnings to standard error unless told otherwise, and whoever reads
// that (a terminal, a script's log) has no use for them; the trace's log keeps them.
void log_message(int level, const char* message)
{
    std::string_view text(message ? message : "");
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    ec_log("libexiv2 (level %d): %.*s", level, static_cast<int>(text.size()), text.data());
}

// The library's message handler and its XMP parser are process-wide; both are set up once,
// before the first photo is read, since the parser would otherwise set itself up on whichever
// thread first meets a photo with XMP, racing any other.
void set_up_library()
{
    static const bool set_up = [] {
        Exiv2::LogMsg::setHandler(&log_message);
        return Exiv2::XmpParser::initialize();
    }();
    (void)set_up;
}

// The digits of text[from, from + count) as a number; false when any is no digit.
bool digits(std::string_view text, std::size_t from, std::size_t count, int& value)
{
    if (from + count > text.size())
        return false;
    const char* begin = text.data() + from;
    const auto [end, err] = std::from_chars(begin, begin + count, value);
    return err == std::errc() && end == begin + count && begin[0] != '-' && begin[0] != '+';
}

// "YYYY:MM:DD HH:MM:SS", counted as UTC; cameras whose clock was never set write zeros or
// blanks, which are no date.
std::optional<std::time_t> parse_date_time(std::string_view text)
{
    std::tm parts{};
    int year = 0;
    int month = 0;
    if (text.size() < 19 || text[4] != ':' || text[7] != ':' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':')
        return std::nullopt;
    if (!digits(text, 0, 4, year) || !digits(text, 5, 2, month) ||
        !digits(text, 8, 2, parts.tm_mday) || !digits(text, 11, 2, parts.tm_hour) ||
        !digits(text, 14, 2, parts.tm_min) || !digits(text, 17, 2, parts.tm_sec))
        return std::nullopt;
    if (year < 1970 || month < 1 || month > 12 || parts.tm_mday < 1 || parts.tm_mday > 31 ||
        parts.tm_hour > 23 || parts.tm_min > 59 || parts.tm_sec > 60)
        return std::nullopt;
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    return timegm(&parts);
}

// "+HH:MM" or "-HH:MM" in minutes east of UTC.
std::optional<int> parse_offset(std::string_view text)
{
    int hours = 0;
    int minutes = 0;
    if (text.size() < 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':' ||
        !digits(text, 1, 2, hours) || !digits(text, 4, 2, minutes) || hours > 14 || minutes > 59)
        return std::nullopt;
    return (text[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
}

std::optional<std::string> exif_text(const Exiv2::ExifData& exif, const char* key)
{
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    if (found == exif.end())
        return std::nullopt;
    return found->toString();
}

std::optional<CaptureDate> capture_date_of(const Exiv2::ExifData& exif, std::string& why)
{
    const std::optional<std::string> taken = exif_text(exif, "Exif.Photo.DateTimeOriginal");
    if (!taken) {
        why = "no DateTimeOriginal";
        return std::nullopt;
    }
    const std::optional<std::time_t> wall_clock = parse_date_time(*taken);
    if (!wall_clock) {
        why = "DateTimeOriginal \"" + *taken + "\" is no date";
        return std::nullopt;
    }
    CaptureDate date;
    date.wall_clock = *wall_clock;
    // A malformed offset leaves the date as good as one without it.
    if (const std::optional<std::string> offset = exif_text(exif, "Exif.Photo.OffsetTimeOriginal"))
        date.offset_minutes = parse_offset(*offset);
    return date;
}

}  // namespace

std::optional<CaptureDate> read_capture_date(std::string_view head, std::string& why)
{
    set_up_library();
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(head.data()), static_cast<long>(head.size()));
        if (!image.get()) {
            why = "not an image the metadata library knows";
            return std::nullopt;
        }
        image->readMetadata();
        return capture_date_of(image->exifData(), why);
    } catch (const std::exception& e) {
        why = std::string("the metadata library can't read it: ") + e.what();
        return std::nullopt;
    }
}

}  // namespace oakvane
