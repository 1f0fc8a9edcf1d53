#include "eject_mountinfo.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/sysmacros.h>

namespace oakvane {

namespace {

// The table writes blanks, tabs, newlines and backslashes in paths as "\ooo".
std::string unescape(const std::string& field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::strspn(field.substr(i + 1, 3).c_str(), "01234567") == 3) {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::optional<MountEntry> parse_line(const std::string& line)
{
    std::istringstream in(line);
    std::string id, parent, major_minor, root, mount_point, options, field;
    if (!(in >> id >> parent >> major_minor >> root >> mount_point >> options))
        return std::nullopt;
    while (in >> field && field != "-") {
    }
    MountEntry entry;
    unsigned major = 0, minor = 0;
    char colon = 0;
    std::istringstream numbers(major_minor);
    if (field != "-" || !(in >> entry.fs_type >> entry.source) ||
        !(numbers >> major >> colon >> minor) || colon != ':')
        return std::nullopt;
    entry.mount_point = unescape(mount_point);
    entry.source = unescape(entry.source);
    entry.device = makedev(major, minor);
    return entry;
}

}  // namespace

std::vector<MountEntry> parse_mountinfo(const std::string& text)
{
    std::vector<MountEntry> mounts;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (auto entry = parse_line(line))
            mounts.push_back(*entry);
    }
    return mounts;
}

std::vector<MountEntry> read_mountinfo()
{
    std::ifstream in("/proc/self/mountinfo");
    if (!in) {
        std::perror("/proc/self/mountinfo");
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parse_mountinfo(text.str());
}

std::string normal_mount_point(const std::string& path)
{
    if (path.empty())
        return path;
    std::string normal = std::filesystem::path(path).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

std::optional<MountEntry> find_mount(const std::vector<MountEntry>& mounts,
                                     const std::string& mount_point)
{
    const std::string wanted = normal_mount_point(mount_point);
    for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
        if (it->mount_point == wanted)
            return *it;
    }
    return std::nullopt;
}

}  // namespace oakvane
