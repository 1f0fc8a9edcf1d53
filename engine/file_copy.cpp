#include "file_copy.h"

#include "run.h"

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

// Moves one block inside the kernel, so the data does not pass through user space; on a card
// of raw files that is most of the copy's cost. Returns the bytes moved (0 at the end), or
// -1 when the kernel can't do it here. Either way the caller finishes through the buffer:
// a real read or write fault then shows up with its errno on the side it belongs to.
ssize_t kernel_copy(int from_fd, int to_fd)
{
    for (;;) {
        const ssize_t n = ::copy_file_range(from_fd, nullptr, to_fd, nullptr, kCopyBufferSize, 0);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

// The copy through the run's buffer, going on from outcome (bytes already copied).
CopyOutcome copy_through_buffer(Run& run, int from_fd, int to_fd, CopyOutcome outcome)
{
    if (run.copy_buffer.size() < kCopyBufferSize)
        run.copy_buffer.resize(kCopyBufferSize);
    char* buffer = run.copy_buffer.data();
    for (;;) {
        if (run.stop_requested()) {
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

}  // namespace

CopyOutcome copy_data(Run& run, int from_fd, int to_fd)
{
    CopyOutcome outcome;
    for (;;) {
        if (run.stop_requested()) {
            outcome.status = CopyStatus::stopped;
            return outcome;
        }
        const ssize_t n = kernel_copy(from_fd, to_fd);
        if (n <= 0)
            break;
        outcome.written += static_cast<std::uint64_t>(n);
    }
    // Some file systems report an end they have not reached; a plain read settles it.
    return copy_through_buffer(run, from_fd, to_fd, outcome);
}

Status copy_failure(const CopyOutcome& outcome, std::string_view read_message,
                    const std::string& source, std::string_view write_message,
                    const std::string& destination)
{
    switch (outcome.status) {
    case CopyStatus::done: return {};
    case CopyStatus::stopped: return stopped();
    case CopyStatus::read_failed: return fail(std::string(read_message), source, outcome.err);
    default: return fail(std::string(write_message), destination, outcome.err);
    }
}

}  // namespace oakvane
