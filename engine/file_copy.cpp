#include "file_copy.h"

#include "run_state.h"

#include <cerrno>
#include <unistd.h>

namespace oakvane {

namespace {

bool write_all(int fd, const char* data, std::size_t size, int& err)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            err = n < 0 ? errno : ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

CopyOutcome copy_data(int from_fd, int to_fd)
{
    RunState& run = run_state();
    if (run.copy_buffer.size() < kCopyBufferSize)
        run.copy_buffer.resize(kCopyBufferSize);
    char* buffer = run.copy_buffer.data();
    CopyOutcome outcome;
    for (;;) {
        if (host().stop_requested()) {
            outcome.status = CopyStatus::stopped;
            return outcome;
        }
        const ssize_t n = ::read(from_fd, buffer, kCopyBufferSize);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            outcome.status = CopyStatus::read_failed;
            outcome.err = errno;
            return outcome;
        }
        if (n == 0)
            return outcome;
        if (!write_all(to_fd, buffer, static_cast<std::size_t>(n), outcome.err)) {
            outcome.status = CopyStatus::write_failed;
            return outcome;
        }
        outcome.written += static_cast<std::uint64_t>(n);
    }
}

}  // namespace oakvane
