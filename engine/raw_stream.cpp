#include "raw_stream.h"

#include <libraw/libraw_const.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace oakvane {

namespace {

constexpr std::size_t kBufferSize = 256 * 1024;
constexpr unsigned kCharsPerStopCheck = 65536;
constexpr std::size_t kMaxToken = 64;

}  // namespace

RawStream::RawStream(int fd, std::int64_t size, const std::atomic<bool>* stop)
    : m_fd(fd), m_size(size), m_stop(stop), m_buffer(kBufferSize)
{
}

// The decoder's own way out of a decode: its loops let this through and return
// LIBRAW_CANCELLED_BY_CALLBACK, with everything they allocated released.
void RawStream::check_stop()
{
    if (m_stop && m_stop->load(std::memory_order_relaxed))
        throw LIBRAW_EXCEPTION_CANCELLED_BY_CALLBACK;
}

void RawStream::note_missing(std::uint64_t n)
{
    if (m_armed)
        m_missing += n;
}

// Refills the buffer at the current position; false at the end or on a read error.
bool RawStream::fill()
{
    check_stop();
    if (m_pos >= m_size)
        return false;
    ssize_t got;
    do
        got = ::pread(m_fd, m_buffer.data(), m_buffer.size(), m_pos);
    while (got < 0 && errno == EINTR);
    if (got < 0) {
        m_error = errno;
        throw LIBRAW_EXCEPTION_IO_CORRUPT;
    }
    m_buffer_pos = m_pos;
    m_buffer_len = static_cast<std::size_t>(got);
    return got > 0;
}

int RawStream::read(void* into, size_t size, size_t count)
{
    if (size == 0 || count == 0)
        return 0;
    check_stop();
    const std::uint64_t wanted = static_cast<std::uint64_t>(size) * count;
    // A last block read whole though the data ends inside it is how some decoders read;
    // only what is asked for wholly past the end means the file is short.
    if (m_pos >= m_size) {
        note_missing(wanted);
        return 0;
    }
    auto* out = static_cast<unsigned char*>(into);
    std::uint64_t done = 0;
    while (done < wanted && m_pos < m_size) {
        const bool buffered = m_pos >= m_buffer_pos &&
                              m_pos < m_buffer_pos + static_cast<std::int64_t>(m_buffer_len);
        if (!buffered && wanted - done >= m_buffer.size()) {
            ssize_t got;
            do
                got = ::pread(m_fd, out + done, wanted - done, m_pos);
            while (got < 0 && errno == EINTR);
            if (got < 0) {
                m_error = errno;
                throw LIBRAW_EXCEPTION_IO_CORRUPT;
            }
            if (got == 0)
                break;
            done += static_cast<std::uint64_t>(got);
            m_pos += got;
            continue;
        }
        if (!buffered && !fill())
            break;
        const std::size_t at = static_cast<std::size_t>(m_pos - m_buffer_pos);
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(m_buffer_len - at, wanted - done));
        std::memcpy(out + done, m_buffer.data() + at, n);
        done += n;
        m_pos += static_cast<std::int64_t>(n);
    }
    return static_cast<int>(done / size);
}

int RawStream::seek(INT64 offset, int whence)
{
    std::int64_t to;
    switch (whence) {
    case SEEK_SET: to = offset; break;
    case SEEK_CUR: to = m_pos + offset; break;
    case SEEK_END: to = m_size + offset; break;
    default: return -1;
    }
    if (to < 0)
        return -1;
    m_pos = to;
    return 0;
}

int RawStream::get_char()
{
    if (m_pos >= m_buffer_pos && m_pos < m_buffer_pos + static_cast<std::int64_t>(m_buffer_len)) {
        if (++m_chars == kCharsPerStopCheck) {
            m_chars = 0;
            check_stop();
        }
        return m_buffer[static_cast<std::size_t>(m_pos++ - m_buffer_pos)];
    }
    if (m_pos >= m_size || !fill()) {
        note_missing(1);
        return -1;
    }
    return m_buffer[static_cast<std::size_t>(m_pos++ - m_buffer_pos)];
}

char* RawStream::gets(char* into, int room)
{
    if (room <= 0)
        return nullptr;
    int n = 0;
    while (n < room - 1) {
        const int c = get_char();
        if (c < 0)
            break;
        into[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    into[n] = '\0';
    return n > 0 ? into : nullptr;
}

// Reads one blank-separated word and converts it as sscanf would; the decoder asks this
// of the few raw formats with text headers.
int RawStream::scanf_one(const char* format, void* value)
{
    int c;
    do
        c = get_char();
    while (c == ' ' || c == '\t' || c == '\n' || c == '\r');
    if (c < 0)
        return EOF;
    char token[kMaxToken + 1];
    std::size_t n = 0;
    while (c >= 0 && c != ' ' && c != '\t' && c != '\n' && c != '\r' && n < kMaxToken) {
        token[n++] = static_cast<char>(c);
        c = get_char();
    }
    token[n] = '\0';
    return std::sscanf(token, format, value);
}

}  // namespace oakvane
