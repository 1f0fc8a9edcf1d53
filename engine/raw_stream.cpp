#include "raw_stream.h"

#include <libraw/libraw_const.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace oakvane {

namespace {

constexpr unsigned kCharsPerStopCheck = 65536;
constexpr std::size_t kMaxToken = 64;

}  // namespace

RawStream::RawStream(const unsigned char* data, std::size_t size, const std::atomic<bool>* stop)
    : m_data(data), m_size(size), m_stop(stop)
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

int RawStream::read(void* into, size_t size, size_t count)
{
    if (size == 0 || count == 0)
        return 0;
    check_stop();
    const std::uint64_t wanted = static_cast<std::uint64_t>(size) * count;
    const auto end = static_cast<INT64>(m_size);
    // A last block read whole though the data ends inside it is how some decoders read;
    // only what is asked for wholly past the end means the file is short.
    if (m_pos >= end) {
        note_missing(wanted);
        return 0;
    }
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, static_cast<std::uint64_t>(end - m_pos)));
    std::memcpy(into, m_data + m_pos, n);
    m_pos += static_cast<INT64>(n);
    return static_cast<int>(n / size);
}

int RawStream::seek(INT64 offset, int whence)
{
    INT64 to;
    switch (whence) {
    case SEEK_SET: to = offset; break;
    case SEEK_CUR: to = m_pos + offset; break;
    case SEEK_END: to = static_cast<INT64>(m_size) + offset; break;
    default: return -1;
    }
    if (to < 0)
        return -1;
    m_pos = to;
    return 0;
}

int RawStream::get_char()
{
    if (m_pos >= static_cast<INT64>(m_size)) {
        note_missing(1);
        return -1;
    }
    if (++m_chars == kCharsPerStopCheck) {
        m_chars = 0;
        check_stop();
    }
    return m_data[m_pos++];
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
