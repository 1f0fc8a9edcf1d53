#pragma once
// Files that must never be seen half-written: each is written under a hidden staging name
// in its destination folder, flushed to stable storage, and only then published under its
// final name, without replacing anything. A crash leaves at most a staging file, which no
// image or sidecar name can match, which no listing of the engine takes for an image, and
// which the next run into that folder removes.

#include "fs_util.h"

#include <string>
#include <string_view>
#include <utility>

namespace oakvane {

inline constexpr std::string_view kStagingPrefix = ".oakvane-part-";

// Gives the file at from the name to, failing with EEXIST rather than replacing anything.
// Where the file system has no such rename (EINVAL: NFS, 9p, many FUSE file systems), a
// link then an unlink does the same. Returns 0 or errno.
int publish_noreplace(const std::string& from, const std::string& to);

class StagedFile {
public:
    StagedFile() = default;
    ~StagedFile() { discard(); }
    StagedFile(StagedFile&& other) noexcept
        : m_fd(std::move(other.m_fd)), m_temp(std::exchange(other.m_temp, {})),
          m_on_disk(other.m_on_disk) {}
    StagedFile& operator=(StagedFile&& other) noexcept
    {
        if (this != &other) {
            discard();
            m_fd = std::move(other.m_fd);
            m_temp = std::exchange(other.m_temp, {});
            m_on_disk = other.m_on_disk;
        }
        return *this;
    }

    // Takes over a file written under the staging path, open as fd.
    void adopt(UniqueFd fd, const std::string& path)
    {
        discard();
        m_fd = std::move(fd);
        m_temp = path;
        m_on_disk = true;
    }
    // Stands for a file a plan would stage at path; nothing is on the disk.
    void plan(const std::string& path)
    {
        discard();
        m_temp = path;
        m_on_disk = false;
    }
    bool active() const { return !m_temp.empty(); }
    bool on_disk() const { return active() && m_on_disk; }
    int fd() const { return m_fd.get(); }
    const std::string& temp_path() const { return m_temp; }
    // fsync on the still-open descriptor, then close: this is where a write-back error of
    // the file's data shows. Returns 0 or errno.
    int flush();
    // Starts writing the file's data to the disk without waiting, so that the group's
    // sync finds most of it written already.
    void start_writeback();
    // As flush, for a file whose file system was synced since it was written (syncfs):
    // only collects its write-back error, without another flush of the device's cache.
    int collect_error();
    // The file now has its final name (or, in a plan, would have).
    void published() { m_temp.clear(); }
    // Removes the staging file unless it was published. 0, or errno when it stays.
    int discard();

private:
    UniqueFd m_fd;
    std::string m_temp;
    bool m_on_disk = false;
};

// Removes a staging folder of this run or a dead one, with every file in it. 0, or errno
// when something stays.
int remove_staging_folder(const std::string& folder);

}  // namespace oakvane
