#include "fs_util.h"

#include "run_state.h"
#include "staged_file.h"

#include <cerrno>
#include <cstring>
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

int make_dir(const std::string& path)
{
    if (RunState& run = run_state(); run.planning) {
        // Each image asks for its whole folder path: look at each folder once.
        if (!run.planned_folders.contains(path) && run.existing_folders.insert(path).second &&
            !path_exists(path)) {
            run.existing_folders.erase(path);
            run.planned_folders.insert(path);
        }
        return 0;
    }
    if (::mkdir(path.c_str(), 0777) == 0) {
        note_folder_changed(folder_of(path));
        return 0;
    }
    if (errno == EEXIST)
        return 0;
    return errno;
}

bool path_exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

int set_file_time(const std::string& path, const timespec& t)
{
    const timespec times[2] = {t, t};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

void remove_unfinished(const std::string& path)
{
    if (::unlink(path.c_str()) == 0)
        trace("removed unfinished file " + path);
    else if (errno != ENOENT)
        trace("can't remove unfinished file " + path + ": " + std::strerror(errno));
}

}  // namespace oakvane
