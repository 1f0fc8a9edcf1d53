#pragma once
// Reading a flushed copy back from the disk: its pages are dropped from the page cache
// first, so that what is hashed is what the disk holds rather than what was handed to the
// kernel. Some file systems (many FUSE and network ones) keep the pages whatever is asked;
// their copies are read back all the same, and the run says once that they came from the
// cache.

#include "publish_batch.h"

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

// The same for a staged copy open as fd, on a verifying thread: its data is written out to
// the disk first (the group's flush to stable storage comes later), and with keep the bytes
// read are kept there for a decoder.
ReadBack read_back_copy(int fd, std::vector<unsigned char>* keep, const std::function<bool()>& give_up);

// What a copy read back says, on the engine's thread: a copy that differs from its expected
// hash, or can't be read, fails the run, naming it.
Status judge_read_back(Run& run, const PendingCopy& copy, const ReadBack& back);

// The publish batches' check: a flushed copy with an expected hash is read back and must
// have it; a copy that differs fails the run, naming it.
Status check_read_back(Run& run, PendingCopy& copy);

}  // namespace oakvane
