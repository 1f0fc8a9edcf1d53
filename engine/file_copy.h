#pragma once
// The copy loop every copy of the engine goes through: the run's 1 MiB buffer, a stop
// check before every block, and every byte read written out.

#include "failure.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace oakvane {

class Run;

enum class CopyStatus { done, stopped, read_failed, write_failed };

struct CopyOutcome {
    CopyStatus status = CopyStatus::done;
    int err = 0;                // errno of a failed read or write
    std::uint64_t written = 0;  // bytes written
};

// Copies everything readable from from_fd to to_fd, in blocks of 1 MiB with a stop check
// before each: inside the kernel where it can, else through the run's copy buffer. A short
// write is continued; a write that makes no progress (a full disk) fails.
CopyOutcome copy_data(Run& run, int from_fd, int to_fd);

// Why a copy did not finish: "Stopped", or the caller's message for a fault on the reading
// or the writing side, with the file concerned.
Status copy_failure(const CopyOutcome& outcome, std::string_view read_message,
                        const std::string& source, std::string_view write_message,
                        const std::string& destination);

}  // namespace oakvane
