#pragma once
// The raw decoder reads a file through this stream rather than its own: reading past the
// end is noticed (the decoder alone fills a cut-short raw image with zeros and says
// nothing), a read error is kept with its errno, and a stop request ends the decode from
// inside whatever loop is reading.

#include <libraw/libraw_datastream.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace oakvane {

class RawStream : public LibRaw_abstract_datastream {
public:
    RawStream(int fd, std::int64_t size, const std::atomic<bool>* stop);

    // From now on, what is asked for past the end counts as missing.
    void arm() { m_armed = true; }
    // Bytes the decoder asked for that the file does not have, since arm().
    std::uint64_t missing() const { return m_missing; }
    // The errno of a failed read, 0 when none failed.
    int read_error() const { return m_error; }

    int valid() override { return m_fd >= 0; }
    int read(void* into, size_t size, size_t count) override;
    int seek(INT64 offset, int whence) override;
    INT64 tell() override { return m_pos; }
    INT64 size() override { return m_size; }
    int get_char() override;
    char* gets(char* into, int room) override;
    int scanf_one(const char* format, void* value) override;
    int eof() override { return m_pos >= m_size; }
    void* make_jas_stream() override { return nullptr; }

private:
    bool fill();
    void check_stop();
    void note_missing(std::uint64_t n);

    int m_fd;
    std::int64_t m_size;
    const std::atomic<bool>* m_stop;
    std::int64_t m_pos = 0;
    std::vector<unsigned char> m_buffer;
    std::int64_t m_buffer_pos = 0;  // file position of m_buffer[0]
    std::size_t m_buffer_len = 0;
    unsigned m_chars = 0;  // single characters read since the last stop check
    bool m_armed = false;
    std::uint64_t m_missing = 0;
    int m_error = 0;
};

}  // namespace oakvane
