#pragma once
// Small file-system steps the engine's copies share.

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

// Creates one folder; a folder (or anything) already there is fine. Returns 0 or errno.
int make_dir(const std::string& path);

bool path_exists(const std::string& path);

// Gives path the time t as both access and modification time.
int set_file_time(const std::string& path, const timespec& t);

// Removes a file this run created but could not finish; a failure is only traced, since
// the run is failing already and its own message is the one to show.
void remove_unfinished(const std::string& path);

}  // namespace oakvane
