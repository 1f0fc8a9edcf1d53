#include "naming.h"

#include "card_time.h"
#include "name_codes.h"
#include "run.h"

#include <cstdio>
#include <sys/time.h>

namespace oakvane {

namespace {

// Camera file names look like DSC_1234.NEF: the image number is characters 5 to 8, and only
// a name of at least 12 characters is taken to carry one.
constexpr std::size_t kNumberedNameLength = 12;

std::string_view camera_number(std::string_view name)
{
    return name.size() >= kNumberedNameLength ? name.substr(4, 4) : std::string_view();
}

std::string four_digits(int n)
{
    char text[5];
    std::snprintf(text, sizeof text, "%04d", n);
    return text;
}

// The component of one position; F, N and A also settle the image's number text.
std::string component(Run& run, char code, int position, std::string_view card_name,
                      std::string_view stem, const std::string& date_time,
                      std::string& number_text)
{
    const std::optional<NamePart> part = name_part(code);
    if (!part)
        return {};
    switch (*part) {
    case NamePart::text: return run.request.texts[position];
    case NamePart::date: return date_time.substr(0, 8);
    case NamePart::date_time: return date_time;
    case NamePart::short_date: return date_time.substr(2, 6);
    case NamePart::short_date_time: return date_time.substr(2);
    case NamePart::file_name:
        if (number_text.empty())
            number_text = camera_number(card_name);
        return std::string(stem);
    case NamePart::camera_number:
        if (number_text.empty())
            number_text = camera_number(card_name);
        return std::string(camera_number(card_name));
    case NamePart::automatic_number:
        number_text = four_digits(run.running_number);
        return number_text;
    case NamePart::unique_id: return unique_id();
    case NamePart::nothing: return {};
    }
    return {};
}

void collapse_underscores(std::string& name)
{
    std::string out;
    out.reserve(name.size());
    for (char c : name)
        if (c != '_' || out.empty() || out.back() != '_')
            out += c;
    name.swap(out);
}

}  // namespace

std::string make_image_file_name(Run& run, std::string_view card_name, std::time_t mtime,
                                 std::string& number_text)
{
    const std::string& fmt = run.request.name_format;
    const std::size_t dot = card_name.rfind('.');
    const std::string_view extension =
        dot == std::string_view::npos ? std::string_view() : card_name.substr(dot);
    const std::string_view stem = card_name.substr(0, card_name.size() - extension.size());
    const std::string date_time = date_time_text(run, mtime);

    std::string name;
    number_text.clear();
    for (int position = 0; position < 4; ++position) {
        const char code = position < static_cast<int>(fmt.size()) ? fmt[position] : 'E';
        if (!name.empty() && name_part(code) != NamePart::nothing)
            name += '_';
        name += component(run, code, position, card_name, stem, date_time, number_text);
    }
    if (name.empty())
        name = card_name;
    else
        name += extension;
    collapse_underscores(name);
    ++run.running_number;
    if (number_text.empty())
        number_text = "0000";
    return name;
}

std::string date_time_text(const Run& run, std::time_t t)
{
    const std::tm parts = card_time_parts(run.card_clock, t);
    char text[20];
    std::strftime(text, sizeof text, "%Y%m%d_%H%M%S", &parts);
    return text;
}

std::string unique_id()
{
    timeval now{};
    gettimeofday(&now, nullptr);
    char text[40];
    std::snprintf(text, sizeof text, "%lX%.5lX", static_cast<unsigned long>(now.tv_sec),
                  static_cast<unsigned long>(now.tv_usec));
    return text;
}

}  // namespace oakvane
