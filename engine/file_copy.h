#pragma once
// The copy loop every copy of the engine goes through: the run's 1 MiB buffer, a stop
// check before every block, and every byte read written out.

#include <cstdint>

namespace oakvane {

enum class CopyStatus { done, stopped, read_failed, write_failed };

struct CopyOutcome {
    CopyStatus status = CopyStatus::done;
    int err = 0;                // errno of a failed read or write
    std::uint64_t written = 0;  // bytes written
};

// Copies everything readable from from_fd to to_fd. A short write is continued; a write
// that makes no progress (a full disk) fails.
CopyOutcome copy_data(int from_fd, int to_fd);

}  // namespace oakvane
