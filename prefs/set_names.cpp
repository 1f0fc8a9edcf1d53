#include "set_names.h"

#include "pref_keys.h"
#include "preferences.h"
#include "proper.h"

#include <algorithm>
#include <strings.h>

namespace oakvane {

bool list_set_names(std::vector<std::string>& names)
{
    const int count = PropSetCount(kCategory);
    for (int n = 0; n < count; ++n) {
        std::optional<std::string> name;
        if (!PropSetName(kCategory, n, name))
            return false;
        if (!name)
            break;  // a set went away since the count
        names.push_back(*name);
    }
    return true;
}

int find_prefix_entry(const std::vector<std::string>& entries, const std::string& name)
{
    const int count = static_cast<int>(entries.size());
    for (int step = 1; step <= count; ++step) {
        const int i = step % count;  // the second entry first, the first one last
        if (strncasecmp(entries[i].c_str(), name.c_str(), name.size()) == 0)
            return i;
    }
    return -1;
}

namespace {

int exact_or_prefix_entry(const std::vector<std::string>& entries, const std::string& name)
{
    const auto exact = std::find(entries.begin(), entries.end(), name);
    if (exact != entries.end())
        return static_cast<int>(exact - entries.begin());
    return find_prefix_entry(entries, name);
}

}  // namespace

int SelectPrefSetEntry(const std::vector<std::string>& entries, const std::string& name)
{
    const int entry = exact_or_prefix_entry(entries, name);
    return entry >= 0 ? entry : exact_or_prefix_entry(entries, kDefaultSet);
}

bool is_usable_set_name(const std::string& name)
{
    static const char* const kListCommands[] = {"[new...]", "[delete]", "[none]", "[refresh]",
                                                "[user choice]"};
    if (name.find_first_not_of(" \t") == std::string::npos)
        return false;  // blank: nothing to show in a list
    if (name.front() == '.' || name.find('/') != std::string::npos)
        return false;  // hidden from the store, or a path outside its folder
    if (std::any_of(name.begin(), name.end(), [](unsigned char c) { return c < 0x20; }))
        return false;  // line ends would break the lists and the profile
    return std::none_of(std::begin(kListCommands), std::end(kListCommands),
                        [&](const char* command) { return name == command; });
}

}  // namespace oakvane
