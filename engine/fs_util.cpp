#include "fs_util.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace oakvane {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

int UniqueFd::close()
{
    if (m_fd < 0)
        return 0;
    // Linux releases the descriptor even when close fails, so it is never retried.
    return ::close(std::exchange(m_fd, -1));
}

bool path_exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

int remove_unfinished(const std::string& path)
{
    if (::unlink(path.c_str()) == 0 || errno == ENOENT)
        return 0;
    return errno;
}

std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string file_name_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string nearest_existing(std::string path)
{
    struct stat st;
    while (::stat(path.c_str(), &st) != 0) {
        const std::size_t slash = path.find_last_of('/');
        if (errno != ENOENT || slash == std::string::npos || path == "/")
            return {};
        path.resize(slash == 0 ? 1 : slash);
    }
    return path;
}

bool is_below(const std::string& path, const std::string& root)
{
    return path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
           path[root.size()] == '/';
}

void move_paths_below(std::set<std::string>& paths, const std::string& old_root,
                      const std::string& new_root)
{
    std::set<std::string> moved;
    for (auto it = paths.begin(); it != paths.end();) {
        if (*it == old_root || is_below(*it, old_root)) {
            moved.insert(new_root + it->substr(old_root.size()));
            it = paths.erase(it);
        } else {
            ++it;
        }
    }
    paths.merge(moved);
}

}  // namespace oakvane
