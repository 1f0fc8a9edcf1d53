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
        : m_fd(std::move(other.m_fd)), m_temp(std::exchange(other.m_temp, {})) {}
    StagedFile& operator=(StagedFile&& other) noexcept
    {
        if (this != &other) {
            discard();
            m_fd = std::move(other.m_fd);
            m_temp = std::exchange(other.m_temp, {});
        }
        return *this;
    }

    // Creates a fresh staging file in folder (first removing the leftovers of earlier runs
    // there). Returns 0 or errno.
    int create(const std::string& folder);
    // Takes over a file written elsewhere under the staging folder path, open as fd.
    void adopt(UniqueFd fd, const std::string& path)
    {
        discard();
        m_fd = std::move(fd);
        m_temp = path;
    }
    bool active() const { return !m_temp.empty(); }
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
    // Publishes the flushed file as final_path (never replacing). Returns 0 or errno; on
    // EEXIST the staging file stays for another try.
    int publish(const std::string& final_path);
    // Removes the staging file unless it was published.
    void discard();

private:
    UniqueFd m_fd;
    std::string m_temp;
};

// Removes the staging files and folders that earlier runs left in folder, once per run.
void sweep_leftovers(const std::string& folder);

// Removes a staging folder of this run or a dead one, with every file in it. 0 (errno
// set) when something stays.
int remove_staging_folder(const std::string& folder);

// Records that entries of folder changed in this run, so that they are made durable.
void note_folder_changed(const std::string& folder);

// Flushes the entries of every folder changed in this run. 0 after a recorded error.
int sync_changed_folders();

// The folder part of path ("." when it has none).
std::string folder_of(const std::string& path);

}  // namespace oakvane
