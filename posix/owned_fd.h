#pragma once
// A descriptor this library opened for reading or listing, closed when it goes out of scope.

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace oakvane::posix {

class OwnedFd {
public:
    OwnedFd() = default;
    explicit OwnedFd(int fd) noexcept : m_fd(fd) {}
    ~OwnedFd() { reset(); }
    OwnedFd(OwnedFd&& other) noexcept : m_fd(other.release()) {}
    OwnedFd& operator=(OwnedFd&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;

    int get() const noexcept { return m_fd; }
    explicit operator bool() const noexcept { return m_fd >= 0; }
    // Hands the descriptor over to a caller's own owner.
    [[nodiscard]] int release() noexcept { return std::exchange(m_fd, -1); }

    // Nothing is ever written through these descriptors, so a failed close loses nothing.
    // errno is kept: failure paths read it after their descriptors are gone.
    void reset(int fd = -1) noexcept
    {
        if (m_fd >= 0) {
            const int saved = errno;
            ::close(m_fd);
            errno = saved;
        }
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

}  // namespace oakvane::posix
