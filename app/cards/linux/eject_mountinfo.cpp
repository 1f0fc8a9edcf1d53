#include "eject_mountinfo.h"

#include <cstdio>
#include <filesystem>

namespace oakvane {

std::vector<MountEntry> read_mountinfo(const std::string& path)
{
    std::vector<MountEntry> mounts;
    std::string error;
    if (!read_mount_table(path, mounts, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return {};
    }
    return mounts;
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
