#include "raw_verify.h"

#include "raw_stream.h"

#include <libraw/libraw.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace oakvane {

namespace {

// What the decoder may ask for past the end of a whole file: bit readers fetch a byte or
// two ahead. A cut-short raw image asks for far more.
constexpr std::uint64_t kReadAheadSlack = 64;
constexpr std::size_t kHeadSize = 16;

struct Said {
    std::string diagnostics;
    bool data_error = false;
    bool ended_early = false;
    bool out_of_memory = false;
};

void on_data_error(void* data, const char* /*file*/, const int offset)
{
    auto* said = static_cast<Said*>(data);
    said->data_error = true;
    // The decoder says -1 when it met the end of the file.
    if (offset < 0)
        said->ended_early = true;
    said->diagnostics += offset < 0 ? "raw decoder: unexpected end of file\n"
                                    : "raw decoder: damaged data at byte " + std::to_string(offset) + "\n";
}

void on_memory_error(void* data, const char* /*file*/, const char* where)
{
    auto* said = static_cast<Said*>(data);
    said->out_of_memory = true;
    said->diagnostics += std::string("raw decoder: out of memory in ") + (where ? where : "?") + "\n";
}

RawCheck result(RawCheck::Outcome outcome, std::string reason, Said& said)
{
    RawCheck check;
    check.outcome = outcome;
    check.reason = std::move(reason);
    check.diagnostics = std::move(said.diagnostics);
    return check;
}

bool starts_with(const unsigned char* head, std::size_t n, std::size_t at, std::string_view magic)
{
    return n >= at + magic.size() && std::memcmp(head + at, magic.data(), magic.size()) == 0;
}

// An error the decoder returned from opening or unpacking, as the check's outcome.
RawCheck from_error(int code, Said& said, bool opening)
{
    using O = RawCheck::Outcome;
    switch (code) {
    case LIBRAW_CANCELLED_BY_CALLBACK: return result(O::stopped, "stopped", said);
    case LIBRAW_UNSUFFICIENT_MEMORY:
    case LIBRAW_MEMPOOL_OVERFLOW: return result(O::fatal, "the raw decoder ran out of memory", said);
    case LIBRAW_TOO_BIG: return result(O::unchecked, "too big for the raw decoder", said);
    case LIBRAW_NOT_IMPLEMENTED: return result(O::unchecked, kUnknownCompression, said);
    default:
        break;
    }
    if (said.out_of_memory)
        return result(O::fatal, "the raw decoder ran out of memory", said);
    const std::string what = opening ? "the raw decoder can't open it: " : "the raw decoder can't unpack it: ";
    return result(O::damaged, what + libraw_strerror(code), said);
}

// The whole file open as fd, read from its start into bytes. 0 or errno.
int read_all(int fd, std::vector<unsigned char>& bytes)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return errno;
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return 0;
}

}  // namespace

bool has_raw_container(const unsigned char* head, std::size_t n)
{
    static constexpr std::array<std::string_view, 14> kAtStart = {
        std::string_view("II*\0", 4), std::string_view("MM\0*", 4),  // TIFF and its raws
        "IIRO", "IIRS", "MMOR",                                      // Olympus
        std::string_view("IIU\0", 4),                                // Panasonic, Leica
        "IIII", "MMMM",                                              // Phase One
        "FUJIFILM", "FOVb", std::string_view("\0MRM", 4),            // Fujifilm, Sigma, Minolta
        "ARRI", "NOKIARAW", "RIFF"};
    for (std::string_view magic : kAtStart)
        if (starts_with(head, n, 0, magic))
            return true;
    return (starts_with(head, n, 0, "II") && starts_with(head, n, 6, "HEAPCCDR")) ||  // Canon CIFF
           starts_with(head, n, 4, "ftyp");                                           // Canon CR3
}

RawCheck decode_raw(const unsigned char* data, std::size_t size, bool tif, const std::atomic<bool>* stop)
{
    using O = RawCheck::Outcome;
    Said said;
    const bool container = has_raw_container(data, std::min(size, kHeadSize));
    try {
        RawStream stream(data, size, stop);
        auto decoder = std::make_unique<LibRaw>(LIBRAW_OPIONS_NO_DATAERR_CALLBACK);
        decoder->set_dataerror_handler(on_data_error, &said);
        decoder->set_memerror_handler(on_memory_error, &said);
        if (const int opened = decoder->open_datastream(&stream); opened != LIBRAW_SUCCESS) {
            // Scanners and editors write TIFFs too: one the decoder does not take is
            // simply not a camera's.
            const bool unsupported = opened == LIBRAW_FILE_UNSUPPORTED || (tif && container);
            if (!unsupported || opened == LIBRAW_CANCELLED_BY_CALLBACK || said.out_of_memory)
                return from_error(opened, said, true);
            // The decoder names most cameras by their files' own tags; one it cannot name
            // is not the file's fault, but bytes in no raw container at all are no raw.
            if (!container)
                return result(O::damaged, "its first bytes are those of no raw file", said);
            return result(O::unchecked, tif ? kNotCameraRaw : kUnknownCamera, said);
        }
        stream.arm();
        const int unpacked = decoder->unpack();
        const bool cut_short = stream.missing() > kReadAheadSlack || said.ended_early;
        if (cut_short && unpacked != LIBRAW_CANCELLED_BY_CALLBACK)
            return result(O::damaged, "the file ends before its raw image does", said);
        if (unpacked != LIBRAW_SUCCESS)
            return from_error(unpacked, said, false);
        if (said.data_error)
            return result(O::damaged, "the raw image data is damaged", said);
        return result(O::decoded, {}, said);
    } catch (const std::bad_alloc&) {
        return result(O::fatal, "the raw decoder ran out of memory", said);
    }
}

RawCheck decode_raw(int fd, bool tif, const std::atomic<bool>* stop)
{
    std::vector<unsigned char> bytes;
    Said said;
    try {
        if (const int err = read_all(fd, bytes); err != 0)
            return result(RawCheck::Outcome::damaged, std::string("can't read the copy: ") + std::strerror(err), said);
    } catch (const std::bad_alloc&) {
        return result(RawCheck::Outcome::fatal, "the raw decoder ran out of memory", said);
    }
    return decode_raw(bytes.data(), bytes.size(), tif, stop);
}

}  // namespace oakvane
