#include "read_back.h"

#include "xxh128.h"
#include "fs_util.h"
#include "run.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace oakvane {

namespace {

// Whether any page of the size bytes mapped at map is in the cache. They are looked at a
// window at a time, so that a film of many gigabytes needs no more memory than a photo.
bool any_resident(const char* map, std::uint64_t size)
{
    constexpr std::size_t kWindowPages = 16384;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t window = kWindowPages * page;
    std::vector<unsigned char> resident(kWindowPages);
    for (std::uint64_t at = 0; at < size; at += window) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(size - at, window));
        // Where mincore can't tell, the cache may have served the read.
        if (::mincore(const_cast<char*>(map) + at, length, resident.data()) != 0)
            return true;
        for (std::size_t i = 0; i < (length + page - 1) / page; ++i)
            if (resident[i] & 1)
                return true;
    }
    return false;
}

// posix_fadvise succeeds even where it drops nothing, so the pages left are counted.
// Returns whether any page of the file's size bytes is still resident.
bool drop_from_cache(int fd, std::uint64_t size)
{
    if (size == 0)
        return false;
    // Only clean pages are dropped: the batch synced the file before.
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED)
        return true;  // can't tell: say the cache may have served it
    const bool any = any_resident(static_cast<const char*>(map), size);
    ::munmap(map, size);
    return any;
}

}  // namespace

CopyReader::CopyReader(int fd, bool write_out, std::function<bool()> give_up)
    : m_fd(fd), m_give_up(std::move(give_up))
{
    struct stat st;
    // Written out to the disk first, so that once its pages are dropped the read comes
    // from there; the group's flush to stable storage follows before it is published.
    constexpr unsigned kWriteAndWait =
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
    if ((write_out && ::sync_file_range(fd, 0, 0, kWriteAndWait) != 0) || ::fstat(fd, &st) != 0) {
        m_result.err = errno;
        return;
    }
    m_result.from_cache = drop_from_cache(fd, static_cast<std::uint64_t>(st.st_size));
    // Read once from start to end: a larger read-ahead keeps the disk busy between chunks.
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

bool CopyReader::failed() const
{
    return m_result.err != 0 || m_result.stopped;
}

std::size_t CopyReader::read(char* into, std::size_t room)
{
    while (!failed()) {
        if (m_give_up && m_give_up()) {
            m_result.stopped = true;
            break;
        }
        const ssize_t n = ::read(m_fd, into, room);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            m_result.err = errno;
            break;
        }
        m_hash.update(into, static_cast<std::size_t>(n));
        return static_cast<std::size_t>(n);
    }
    return 0;
}

ReadBack CopyReader::finish(std::vector<char>& chunk)
{
    if (chunk.size() < kCopyBufferSize)
        chunk.resize(kCopyBufferSize);
    while (read(chunk.data(), chunk.size()) > 0) {
    }
    return end();
}

ReadBack CopyReader::end()
{
    if (failed())
        return m_result;
    // Read back, the pages need not stay: the next group wants the room.
    (void)::posix_fadvise(m_fd, 0, 0, POSIX_FADV_DONTNEED);
    m_result.hash = m_hash.hex();
    return m_result;
}

ReadBack read_back_file(const std::string& path, std::vector<char>& buffer,
                        const std::function<bool()>& give_up)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        ReadBack result;
        result.err = errno;
        return result;
    }
    CopyReader reader(fd.get(), false, give_up);
    return reader.finish(buffer);
}

ReadBack read_back_copy(int fd, std::vector<unsigned char>& keep, const std::function<bool()>& give_up)
{
    CopyReader reader(fd, true, give_up);
    keep.clear();
    for (;;) {
        // Grown a chunk at a time: the file is what it is, whatever its size said.
        const std::size_t at = keep.size();
        keep.resize(at + kCopyBufferSize);
        const std::size_t n = reader.read(reinterpret_cast<char*>(keep.data() + at), kCopyBufferSize);
        keep.resize(at + n);
        if (n == 0)
            break;
    }
    return reader.end();
}

Status judge_read_back(Run& run, const PendingCopy& copy, const ReadBack& back)
{
    if (back.stopped)
        return stopped();
    if (back.err != 0)
        return fail("can't read the copy back", copy.final_path, back.err);
    if (back.from_cache && !run.checked_from_cache) {
        run.checked_from_cache = true;
        run.output("Copies were checked from the cache: the file system keeps them there\n");
    }
    if (back.hash == copy.expected_hash)
        return {};
    run.diagnostic("read back " + back.hash + ", expected " + copy.expected_hash + ": " +
                   copy.final_path);
    if (copy.converted)
        return fail("DNG differs from what the converter wrote, after writing: \"" +
                    copy.final_path + "\"");
    return fail("copy differs from the card after writing: \"" + copy.final_path + "\"");
}

Status check_read_back(Run& run, PendingCopy& copy)
{
    if (copy.expected_hash.empty() || !copy.image.on_disk())
        return {};
    const auto give_up = [&run] { return run.stop_requested(); };
    return judge_read_back(run, copy, read_back_file(copy.image.temp_path(), run.copy_buffer, give_up));
}

}  // namespace oakvane
