#pragma once
// Reading a flushed copy back from the disk: its pages are dropped from the page cache
// first, so that what is hashed is what the disk holds rather than what was handed to the
// kernel. Some file systems (many FUSE and network ones) keep the pages whatever is asked;
// their copies are read back all the same, and the run says once that they came from the
// cache.

#include "publish_batch.h"
#include "xxh128.h"

#include <functional>
#include <string>
#include <vector>

namespace oakvane {

class Run;

struct ReadBack {
    int err = 0;              // errno of a failed open or read; 0 when read whole
    bool stopped = false;     // given up between chunks, at the caller's asking
    bool from_cache = false;  // some pages were still in the cache when it was read
    std::string hash;
};

// Drops the pages of the file at path from the cache, confirms it with mincore, then reads
// the file through buffer and hashes it. give_up, when given, is asked between chunks: a
// group of large copies takes seconds to read, and a stop must not wait for it.
ReadBack read_back_file(const std::string& path, std::vector<char>& buffer,
                        const std::function<bool()>& give_up = {});

// A copy read back a piece at a time, hashing what is read, so that a decoder reading
// through it reads what the disk holds. give_up, when given, is asked before every read.
class CopyReader {
public:
    // write_out: the copy open as fd is written out to the disk first (a staged copy not yet
    // flushed; the group's flush to stable storage comes later). Then its pages are dropped.
    CopyReader(int fd, bool write_out, std::function<bool()> give_up);
    // Up to room bytes into into; 0 at the end, after a failure or once given up.
    std::size_t read(char* into, std::size_t room);
    // Reads what is left through chunk, and says what the whole read found.
    ReadBack finish(std::vector<char>& chunk);
    // What the whole read found, once read() gave 0.
    ReadBack end();

private:
    bool failed() const;

    int m_fd;
    std::function<bool()> m_give_up;
    ReadBack m_result;
    Xxh128 m_hash;
};

// A staged copy open as fd read back whole into keep, for a decoder that needs it all.
ReadBack read_back_copy(int fd, std::vector<unsigned char>& keep, const std::function<bool()>& give_up);

// What a copy read back says, on the engine's thread: a copy that differs from its expected
// hash, or can't be read, fails the run, naming it.
Status judge_read_back(Run& run, const PendingCopy& copy, const ReadBack& back);

// The publish batches' check: a flushed copy with an expected hash is read back and must
// have it; a copy that differs fails the run, naming it.
Status check_read_back(Run& run, PendingCopy& copy);

}  // namespace oakvane
