#include "card_clock.h"

#include <charconv>
#include <optional>

namespace oakvane::posix {

namespace {

constexpr long long kSecondsPerMinute = 60;

// The value of option name in "a,b=c,...": "" for a flag without value, nullopt when absent.
std::optional<std::string_view> option_value(std::string_view options, std::string_view name)
{
    while (!options.empty()) {
        const std::size_t comma = options.find(',');
        const std::string_view item = options.substr(0, comma);
        options = comma == std::string_view::npos ? std::string_view() : options.substr(comma + 1);
        if (!item.starts_with(name))
            continue;
        if (item.size() == name.size())
            return std::string_view();
        if (item[name.size()] == '=')
            return item.substr(name.size() + 1);
    }
    return std::nullopt;
}

// time_offset=N in minutes; the drivers refuse a mount whose value is no number.
std::optional<int> time_offset(std::string_view options)
{
    const std::optional<std::string_view> text = option_value(options, "time_offset");
    int minutes = 0;
    if (!text || text->empty())
        return std::nullopt;
    const auto [end, err] = std::from_chars(text->data(), text->data() + text->size(), minutes);
    if (err != std::errc() || end != text->data() + text->size())
        return std::nullopt;
    return minutes;
}

// vfat reads every stamp as local time in a zone of its own: time_offset= (minutes east of
// UTC) or tz=UTC when given, else the kernel's zone, which is 0 on most machines since their
// hardware clock runs in UTC.
long long vfat_shift(std::string_view options, int minutes_west)
{
    if (const std::optional<int> offset = time_offset(options))
        return -*offset * kSecondsPerMinute;
    if (option_value(options, "tz") == std::string_view("UTC"))
        return 0;
    return minutes_west * kSecondsPerMinute;
}

// exFAT stamps may carry the writer's offset from UTC, flagged valid. The exfat driver
// turns a stamp with a valid offset into the true point in time; one without it reads in
// the zone of its mount: the kernel's zone with sys_tz, time_offset= when given, else UTC
// (unlike vfat it ignores the kernel's zone by default). Which kind a file has can't be
// seen through stat, so one rule has to serve the whole card. The rule taken assumes the
// common camera card carries no offset: the offset fields are optional, and a camera writes
// the same zone-less wall-clock it writes to a FAT card. Taking the mount's zone back then
// recovers that wall-clock in any zone the computer is in. A card whose camera did record
// its offset comes out in UTC, off by that offset; breaking the times down in local time
// instead would be right for such a card only where the computer sits in the camera's zone,
// and would shift every zone-less card by the computer's own offset.
long long exfat_shift(std::string_view options, int minutes_west)
{
    if (option_value(options, "sys_tz"))
        return minutes_west * kSecondsPerMinute;
    if (const std::optional<int> offset = time_offset(options))
        return -*offset * kSecondsPerMinute;
    return 0;
}

}  // namespace

bool clock_depends_on_mount(unsigned long fs_type)
{
    return fs_type == kVfatMagic || fs_type == kExfatMagic;
}

// Every other file system, a FUSE reader of FAT or exFAT included, is taken to hold real
// points in time.
CardClock decide_card_clock(unsigned long fs_type, std::string_view fs_options, int minutes_west)
{
    if (fs_type == kVfatMagic)
        return {true, vfat_shift(fs_options, minutes_west)};
    if (fs_type == kExfatMagic)
        return {true, exfat_shift(fs_options, minutes_west)};
    return {};
}

}  // namespace oakvane::posix
