#include "window_lists.h"

#include "dirlist.h"
#include "mhl_history.h"

#include <algorithm>
#include <cstdio>
#include <strings.h>
#include <sys/stat.h>

namespace oakvane {

namespace {

int first_entry_beginning_with(const std::vector<std::string>& entries, const std::string& text)
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (strncasecmp(entries[i].c_str(), text.c_str(), text.size()) == 0)
            return static_cast<int>(i);
    return -1;
}

// The listing treats a folder it cannot read as empty; the window says so nowhere, so the
// reason at least reaches the diagnostics.
std::vector<std::string> listing(const std::string& folder)
{
    bool complete = true;
    std::vector<std::string> names = posix::list_directory(folder, &complete);
    if (!complete)
        std::fprintf(stderr, "Can't list %s completely\n", folder.c_str());
    return names;
}

bool is_template_file(const std::string& name)
{
    return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 3, "xmp") == 0;
}

bool is_folder(const std::string& path)
{
    struct stat info{};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

ComboList template_list(const std::string& folder, const std::string& template_name)
{
    ComboList list;
    for (const std::string& name : listing(folder))
        if (is_template_file(name))
            list.entries.push_back(name.substr(0, name.size() - 4));
    std::sort(list.entries.begin(), list.entries.end(), [](const auto& a, const auto& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    list.entries.push_back(kNoneEntry);
    list.entries.push_back(kRefreshEntry);
    list.selected = first_entry_beginning_with(list.entries, template_name);
    if (list.selected < 0)
        list.selected = static_cast<int>(list.entries.size()) - 2;
    return list;
}

ComboList user_folder_list(const std::string& primary_folder, const std::string& saved_name)
{
    ComboList list;
    bool saved_is_listed = false;
    for (const std::string& name : listing(primary_folder)) {
        // The tree's own history is no job's folder.
        if (name.front() == '.' || name == kMhlFolder || !is_folder(primary_folder + "/" + name))
            continue;
        list.entries.push_back(name);
        saved_is_listed = saved_is_listed || name == saved_name;
    }
    if (list.entries.empty())
        list.entries.push_back(kDefaultUserFolder);
    list.entries.push_back(kRefreshEntry);
    list.entries.push_back(kNewFolderEntry);
    list.selected = saved_is_listed ? first_entry_beginning_with(list.entries, saved_name) : 0;
    return list;
}

}  // namespace oakvane
