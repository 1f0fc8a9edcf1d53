#include "jpeg_verify.h"

#include "fs_util.h"
#include "run.h"
#include "text_format.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <fcntl.h>
#include <unistd.h>

#include <jpeglib.h>
#include <jerror.h>

namespace oakvane {

namespace {

constexpr long kFatal = -1;
constexpr long kStopped = -2;

// libjpeg hands its routines only its own jpeg_error_mgr pointer, so the jump buffer and
// the kept messages sit right behind it in the same record. The messages are kept rather
// than printed so that they reach standard error from the engine's thread, in file order.
struct VerifyErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char said[1024];
    std::size_t said_length;
};

void keep_message(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<VerifyErrorManager*>(cinfo->err);
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    const int n = std::snprintf(err->said + err->said_length, sizeof err->said - err->said_length,
                                "%s\n", text);
    if (n > 0)
        err->said_length = std::min(sizeof err->said - 1, err->said_length + std::size_t(n));
}

[[noreturn]] void verify_error_exit(j_common_ptr cinfo)
{
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(reinterpret_cast<VerifyErrorManager*>(cinfo->err)->jump, 1);
}

// Where the decoder reads: an open file, bytes already in memory, or a reader.
struct JpegSource {
    std::FILE* file = nullptr;
    const unsigned char* data = nullptr;
    unsigned long size = 0;
    const JpegReader* reader = nullptr;
};

// A source over a reader, as the stdio source is over a file: at a premature end it warns
// and makes up an end marker, so that a cut-short JPEG fails by its warning.
struct ReaderSource {
    jpeg_source_mgr pub;
    const JpegReader* reader;
    JOCTET buffer[65536];
};

void init_reader_source(j_decompress_ptr) {}
void term_reader_source(j_decompress_ptr) {}

boolean fill_from_reader(j_decompress_ptr cinfo)
{
    auto* src = reinterpret_cast<ReaderSource*>(cinfo->src);
    std::size_t n = (*src->reader)(src->buffer, sizeof src->buffer);
    if (n == 0) {
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = n;
    return TRUE;
}

void skip_from_reader(j_decompress_ptr cinfo, long count)
{
    auto* src = reinterpret_cast<ReaderSource*>(cinfo->src);
    while (count > static_cast<long>(src->pub.bytes_in_buffer)) {
        count -= static_cast<long>(src->pub.bytes_in_buffer);
        fill_from_reader(cinfo);
    }
    if (count > 0) {
        src->pub.next_input_byte += count;
        src->pub.bytes_in_buffer -= static_cast<std::size_t>(count);
    }
}

void use_reader(j_decompress_ptr cinfo, ReaderSource& src, const JpegReader* reader)
{
    src.reader = reader;
    src.pub.init_source = init_reader_source;
    src.pub.fill_input_buffer = fill_from_reader;
    src.pub.skip_input_data = skip_from_reader;
    src.pub.resync_to_restart = jpeg_resync_to_restart;
    src.pub.term_source = term_reader_source;
    src.pub.bytes_in_buffer = 0;
    src.pub.next_input_byte = nullptr;
    cinfo->src = &src.pub;
}

// Decodes every row of the source at full size with the file's own defaults. Returns the
// decoder's warning count, kFatal after a fatal error or kStopped when stop turned true.
// Nothing in here may have a destructor: longjmp would skip it.
long decode_all_rows(JpegSource source, VerifyErrorManager& err, const std::atomic<bool>* stop)
{
    jpeg_decompress_struct cinfo{};
    static_assert(std::is_trivially_destructible_v<ReaderSource>);
    ReaderSource from_reader;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = verify_error_exit;
    err.pub.output_message = keep_message;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return kFatal;
    }
    jpeg_create_decompress(&cinfo);
    if (source.file)
        jpeg_stdio_src(&cinfo, source.file);
    else if (source.reader)
        use_reader(&cinfo, from_reader, source.reader);
    else
        jpeg_mem_src(&cinfo, source.data, source.size);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                cinfo.output_width * cinfo.output_components, 1);
    // Neither source ever suspends, so a short read cannot happen; if it did, leaving the
    // loop lets jpeg_finish_decompress fail with "too few scanlines" instead of spinning.
    while (cinfo.output_scanline < cinfo.output_height) {
        if (stop && stop->load(std::memory_order_relaxed)) {
            jpeg_destroy_decompress(&cinfo);
            return kStopped;
        }
        if (jpeg_read_scanlines(&cinfo, row, 1) != 1)
            break;
    }
    jpeg_finish_decompress(&cinfo);
    const long warnings = err.pub.num_warnings;
    jpeg_destroy_decompress(&cinfo);
    return warnings;
}

JpegCheck checked(long warnings, const VerifyErrorManager& err)
{
    JpegCheck check;
    check.diagnostics.assign(err.said, err.said_length);
    check.warnings = warnings > 0 ? warnings : 0;
    if (warnings == kStopped)
        check.outcome = JpegCheck::Outcome::stopped;
    else if (warnings == kFatal)
        check.outcome = JpegCheck::Outcome::fatal;
    else
        check.outcome = warnings == 0 ? JpegCheck::Outcome::passed : JpegCheck::Outcome::warned;
    return check;
}

}  // namespace

JpegCheck decode_jpeg(const unsigned char* data, std::size_t size, const std::atomic<bool>* stop)
{
    VerifyErrorManager err{};
    const long warnings = decode_all_rows(JpegSource{nullptr, data, static_cast<unsigned long>(size), nullptr}, err, stop);
    return checked(warnings, err);
}

JpegCheck decode_jpeg(const JpegReader& reader, const std::atomic<bool>* stop)
{
    VerifyErrorManager err{};
    const long warnings = decode_all_rows(JpegSource{nullptr, nullptr, 0, &reader}, err, stop);
    return checked(warnings, err);
}

JpegCheck decode_jpeg(int fd, const std::atomic<bool>* stop)
{
    JpegCheck check;
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    std::FILE* file = own < 0 ? nullptr : ::fdopen(own, "rb");
    if (!file) {
        const int err = errno;
        if (own >= 0)
            ::close(own);
        check.diagnostics = std::string("can't read JPEG: ") + std::strerror(err) + "\n";
        return check;
    }
    // Fewer, larger reads than stdio's default of one page.
    std::setvbuf(file, nullptr, _IOFBF, 64 * 1024);
    VerifyErrorManager err{};
    const long warnings = decode_all_rows(JpegSource{file, nullptr, 0, nullptr}, err, stop);
    std::fclose(file);  // opened for reading only: nothing to lose if closing fails
    return checked(warnings, err);
}

JpegCheck unopenable_jpeg(const std::string& path)
{
    JpegCheck check;
    check.diagnostics = "can't open " + path + "\n";
    return check;
}

bool report_jpeg_check(Run& run, const JpegCheck& check)
{
    std::string_view said = check.diagnostics;
    while (!said.empty()) {
        const std::size_t end = std::min(said.find('\n'), said.size());
        run.diagnostic(said.substr(0, end));
        said.remove_prefix(std::min(said.size(), end + 1));
    }
    if (check.outcome == JpegCheck::Outcome::passed)
        return true;
    if (check.outcome == JpegCheck::Outcome::warned)
        run.output(format("JPEG Verification Warnings: %ld\n", check.warnings));
    return false;
}

}  // namespace oakvane
