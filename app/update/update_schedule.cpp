#include "update_schedule.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace oakvane {

namespace {

struct Field {
    std::size_t pos;
    std::size_t len;
    int min;
    int max;
};

// Year, month, day, hour, minute, second, by position. The ranges reject what mktime would
// otherwise quietly roll over into some other time.
constexpr std::array<Field, 6> kFields{{{0, 4, 1900, 9999},
                                        {5, 2, 1, 12},
                                        {8, 2, 1, 31},
                                        {11, 2, 0, 23},
                                        {14, 2, 0, 59},
                                        {17, 2, 0, 59}}};

std::optional<int> read_field(std::string_view text, const Field& field)
{
    int value = 0;
    for (const char c : text.substr(field.pos, field.len)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < field.min || value > field.max)
        return std::nullopt;
    return value;
}

std::optional<std::time_t> parse_local_time(std::string_view text)
{
    if (text.size() < 19)
        return std::nullopt;
    std::array<int, kFields.size()> v{};
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        const std::optional<int> value = read_field(text, kFields[i]);
        if (!value)
            return std::nullopt;
        v[i] = *value;
    }
    std::tm local{};
    local.tm_year = v[0] - 1900;
    local.tm_mon = v[1] - 1;
    local.tm_mday = v[2];
    local.tm_hour = v[3];
    local.tm_min = v[4];
    local.tm_sec = v[5];
    local.tm_isdst = -1;  // the stored text does not say whether summer time was on
    const std::time_t t = std::mktime(&local);
    if (t == static_cast<std::time_t>(-1))
        return std::nullopt;
    return t;
}

}  // namespace

bool update_check_due(const std::string& last_check, std::time_t now)
{
    const std::optional<std::time_t> last = parse_local_time(last_check);
    return !last || now - *last >= kUpdateInterval;
}

}  // namespace oakvane
