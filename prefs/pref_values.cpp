#include "pref_values.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace oakvane {

namespace {

// The name fields' code letters, as the dialog's lists offer them.
constexpr char kNameCodes[] = "SDTdtFNAUE";
constexpr const char* kPreviews[] = {"-p0", "-p1", "-p2"};

bool is_number(const std::string& value)
{
    const std::size_t start = value.starts_with('-') ? 1 : 0;
    return value.size() > start && value.size() - start <= 9 &&
           std::all_of(value.begin() + static_cast<long>(start), value.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<std::string> name_format_problem(const std::string& value)
{
    // Three fields is the older kind of format, which the dialog still opens.
    const bool letters = std::all_of(value.begin(), value.end(), [](char c) {
        return c != '\0' && std::strchr(kNameCodes, c) != nullptr;
    });
    if ((value.size() == 3 || value.size() == 4) && letters)
        return std::nullopt;
    return std::string("must be four of the letters ") + kNameCodes +
           " (S text, D YYYYMMDD, T YYYYMMDD_HHMMSS, d YYMMDD, t YYMMDD_HHMMSS, F file name, "
           "N file-name numbers, A auto numbers, U unique ID, E nothing)";
}

std::optional<std::string> text_problem(const PrefKey& key, const std::string& value)
{
    const std::string name = key.name;
    if (name == "NameFmt")
        return name_format_problem(value);
    if (name == "Preview" && std::none_of(std::begin(kPreviews), std::end(kPreviews),
                                          [&](const char* p) { return value == p; }))
        return std::string("must be -p0 (no preview), -p1 (medium) or -p2 (full size)");
    return std::nullopt;
}

// What the preferences make of a value out of range, as the end of its warning: a flag is on
// unless it reads as 0, as it always was; a name format keeps its letters, as the dialog does,
// and those that stand for no name part add nothing; anything else falls back to its default.
std::string value_used(const PrefKey& key, const std::string& value)
{
    if (key.type == PrefType::Flag)
        return std::strtol(value.c_str(), nullptr, 10) != 0 ? "1 (on) is used instead"
                                                            : "0 (off) is used instead";
    if (std::string(key.name) == "NameFmt") {
        std::string unknown;
        for (char c : value)
            if (c == '\0' || !std::strchr(kNameCodes, c))
                unknown += c;
        return unknown.empty() ? "the missing fields add nothing to the names"
                               : "the letters " + unknown + " add nothing to the names";
    }
    const std::string dflt =
        key.type == PrefType::Text ? text_default(key) : std::to_string(key.number_default);
    return "the default " + (dflt.empty() ? std::string("(empty)") : dflt) + " is used instead";
}

}  // namespace

bool falls_back_to_default(const PrefKey& key) { return std::string(key.name) == "Preview"; }

const PrefKey* find_pref_key(const std::string& name)
{
    for (const PrefKey& key : set_keys())
        if (name == key.name)
            return &key;
    return nullptr;
}

std::optional<std::string> value_problem(const PrefKey& key, const std::string& value)
{
    switch (key.type) {
    case PrefType::Flag:
        if (value == "0" || value == "1")
            return std::nullopt;
        return std::string("must be 0 (off) or 1 (on)");
    case PrefType::Number:
        if (is_number(value) && std::stoi(value) >= 1 && std::stoi(value) <= 3)
            return std::nullopt;
        return std::string("must be 1, 2 or 3");
    case PrefType::Text:
        return text_problem(key, value);
    }
    return std::nullopt;
}

std::vector<std::string> set_text_problems(const std::string& text)
{
    std::vector<std::string> problems;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t start = line.find_first_not_of('\t');
        if (start == std::string::npos)
            continue;
        const std::size_t tab = line.find('\t', start);
        const std::string where = "line " + std::to_string(number) + " \"" + line + "\"";
        if (tab == std::string::npos) {
            problems.push_back(where + " has no TAB between key and value: it is ignored");
            continue;
        }
        const std::string name = line.substr(start, tab - start);
        if (name == "Version" || name == "Date")
            continue;
        const PrefKey* key = find_pref_key(name);
        if (!key) {
            problems.push_back(where + ": unknown key " + name + ", ignored");
            continue;
        }
        if (const auto why = value_problem(*key, line.substr(tab + 1)))
            problems.push_back(where + ": " + name + " " + *why + "; " +
                               value_used(*key, line.substr(tab + 1)));
    }
    return problems;
}

}  // namespace oakvane
