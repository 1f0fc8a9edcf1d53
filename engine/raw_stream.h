#pragma once
// The raw decoder reads a file's bytes through this stream rather than its own: reading
// past the end is noticed (the decoder alone fills a cut-short raw image with zeros and
// says nothing), and a stop request ends the decode from inside whatever loop is reading.

#include <libraw/libraw_datastream.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace oakvane {

class RawStream : public LibRaw_abstract_datastream {
public:
    // data stays the caller's and must outlive the stream.
    RawStream(const unsigned char* data, std::size_t size, const std::atomic<bool>* stop);

    // From now on, what is asked for past the end counts as missing.
    void arm() { m_armed = true; }
    // Bytes the decoder asked for that the file does not have, since arm().
    std::uint64_t missing() const { return m_missing; }

    int valid() override { return 1; }
    int read(void* into, size_t size, size_t count) override;
    int seek(INT64 offset, int whence) override;
    INT64 tell() override { return m_pos; }
    INT64 size() override { return static_cast<INT64>(m_size); }
    int get_char() override;
    char* gets(char* into, int room) override;
    int scanf_one(const char* format, void* value) override;
    int eof() override { return m_pos >= static_cast<INT64>(m_size); }
    void* make_jas_stream() override { return nullptr; }

private:
    void check_stop();
    void note_missing(std::uint64_t n);

    const unsigned char* m_data;
    std::size_t m_size;
    const std::atomic<bool>* m_stop;
    INT64 m_pos = 0;
    unsigned m_chars = 0;  // single characters read since the last stop check
    bool m_armed = false;
    std::uint64_t m_missing = 0;
};

}  // namespace oakvane
