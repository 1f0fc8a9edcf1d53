#pragma once
// Small file-system steps the engine's copies share.

#include <set>
#include <string>
#include <sys/stat.h>
#include <utility>

namespace oakvane {

// An open file descriptor that is closed when it goes out of scope. close() reports the
// result, for the places where a failed close means a failed copy.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { close(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int close();  // 0, or -1 with errno; closing a closed descriptor is 0
    void reset(int fd = -1)
    {
        close();
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

bool path_exists(const std::string& path);

// Removes a file this run created but could not finish. 0, or errno when it stays (a file
// already gone is fine).
int remove_unfinished(const std::string& path);

// The folder part of path ("." when it has none).
std::string folder_of(const std::string& path);

// The last component of path.
std::string file_name_of(const std::string& path);

// path, or its nearest ancestor that exists: where a folder still to be made will live.
// "" when not even "/" can be examined; errno then says why.
std::string nearest_existing(std::string path);

// Whether path lies below the folder root (root itself is not below it).
bool is_below(const std::string& path, const std::string& root);

// Replaces old_root at the start of every path in paths that is old_root or below it.
void move_paths_below(std::set<std::string>& paths, const std::string& old_root,
                      const std::string& new_root);

}  // namespace oakvane
