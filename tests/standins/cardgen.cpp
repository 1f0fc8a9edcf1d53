#include "cardgen.h"

#include "dng_writer.h"
#include "random_bits.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>

#include <jpeglib.h>

namespace fs = std::filesystem;

namespace oakvane::cardgen {

namespace {

// Noise of +-kNoise on every sample is what brings the file size near a photograph's.
constexpr int kNoise = 22;
constexpr std::size_t kRandomChunk = 1 << 20;


[[noreturn]] void fail(const std::string& what, const fs::path& path, int err)
{
    throw std::runtime_error(what + " " + path.string() + ": " + std::strerror(err));
}

// Only closes files that are being abandoned because an error is already on its way;
// close_file is the checked path.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File open_for_writing(const fs::path& path)
{
    File file(std::fopen(path.c_str(), "wb"));
    if (!file)
        fail("can't create", path, errno);
    return file;
}

void write_all(std::FILE* file, const unsigned char* data, std::size_t size, const fs::path& path)
{
    if (size != 0 && std::fwrite(data, 1, size, file) != size)
        fail("can't write", path, errno);
}

// Closing is where a full disk shows up for buffered writes, so it is checked too.
void close_file(File file, const fs::path& path)
{
    if (std::fclose(file.release()) != 0)
        fail("can't close", path, errno);
}

// Per-column and per-row ramps with a slow wave, one set per channel, so each picture
// has broad tonal changes under its noise.
struct Gradients {
    std::vector<std::array<int, 3>> columns;
    std::vector<std::array<int, 3>> rows;
};

Gradients make_gradients(int width, int height, std::uint64_t seed)
{
    Random random(seed * 7919 + 17);
    Gradients g{std::vector<std::array<int, 3>>(width), std::vector<std::array<int, 3>>(height)};
    std::array<double, 3> phase{};
    for (double& p : phase)
        p = static_cast<double>(random.next() % 628) / 100.0;
    for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c)
            g.columns[x][c] = static_cast<int>(20 + 90.0 * x / width + 25 * std::sin(phase[c] + 9.0 * x / width));
    for (int y = 0; y < height; ++y)
        for (int c = 0; c < 3; ++c)
            g.rows[y][c] = static_cast<int>(110.0 * (c == 1 ? y : height - y) / height +
                                            20 * std::sin(phase[c] * 2 + 7.0 * y / height));
    return g;
}

std::vector<unsigned char> make_pixels(const JpegOptions& o)
{
    const int components = o.greyscale ? 1 : 3;
    const Gradients g = make_gradients(o.width, o.height, o.seed);
    std::vector<unsigned char> pixels(static_cast<std::size_t>(o.width) * o.height * components);
    Random random(o.seed);
    std::uint64_t bits = 0;
    int bytes_left = 0;
    unsigned char* out = pixels.data();
    for (int y = 0; y < o.height; ++y)
        for (int x = 0; x < o.width; ++x)
            for (int c = 0; c < components; ++c) {
                // One random word gives eight samples their noise.
                if (bytes_left == 0) {
                    bits = random.next();
                    bytes_left = 8;
                }
                const int noise = static_cast<int>(((bits & 0xff) * (2 * kNoise + 1)) >> 8) - kNoise;
                bits >>= 8;
                --bytes_left;
                *out++ = static_cast<unsigned char>(std::clamp(g.columns[x][c] + g.rows[y][c] + noise, 0, 255));
            }
    return pixels;
}

struct EncodeErrorManager {
    jpeg_error_mgr pub;  // first, so libjpeg's pointer to it reaches the rest
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void encode_error_exit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<EncodeErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void set_parameters(jpeg_compress_struct& cinfo, const JpegOptions& o)
{
    cinfo.image_width = static_cast<JDIMENSION>(o.width);
    cinfo.image_height = static_cast<JDIMENSION>(o.height);
    cinfo.input_components = o.greyscale ? 1 : 3;
    cinfo.in_color_space = o.greyscale ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, o.quality, TRUE);
    if (o.progressive)
        jpeg_simple_progression(&cinfo);
}

// On success *out is a malloc'd buffer for the caller to free; on failure message holds
// libjpeg's text. Nothing in here may have a destructor: longjmp would skip it.
bool encode_pixels(const unsigned char* pixels, const JpegOptions& o, unsigned char** out,
                   unsigned long* out_size, char* message)
{
    jpeg_compress_struct cinfo{};
    EncodeErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = encode_error_exit;
    *out = nullptr;
    *out_size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(*out);
        *out = nullptr;
        std::memcpy(message, err.message, JMSG_LENGTH_MAX);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, out_size);
    set_parameters(cinfo, o);
    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t stride = static_cast<std::size_t>(o.width) * cinfo.input_components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

std::vector<unsigned char> make_jpeg(const JpegOptions& options)
{
    if (options.width <= 0 || options.height <= 0 || options.quality < 1 || options.quality > 100)
        throw std::invalid_argument("make_jpeg: size and quality must be positive, quality at most 100");
    const std::vector<unsigned char> pixels = make_pixels(options);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    char message[JMSG_LENGTH_MAX] = {};
    if (!encode_pixels(pixels.data(), options, &buffer, &size, message))
        throw std::runtime_error(std::string("make_jpeg: ") + message);
    std::vector<unsigned char> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

void write_jpeg(const fs::path& path, const JpegOptions& options)
{
    write_file_bytes(path, make_jpeg(options));
}

void write_file_bytes(const fs::path& path, const std::vector<unsigned char>& data)
{
    File file = open_for_writing(path);
    write_all(file.get(), data.data(), data.size(), path);
    close_file(std::move(file), path);
}

void write_random_file(const fs::path& path, std::uintmax_t size, std::uint64_t seed)
{
    File file = open_for_writing(path);
    Random random(seed);
    std::vector<std::uint64_t> words(kRandomChunk / sizeof(std::uint64_t));
    for (std::uintmax_t left = size; left > 0;) {
        for (std::uint64_t& word : words)
            word = random.next();
        const std::size_t n = static_cast<std::size_t>(std::min<std::uintmax_t>(left, kRandomChunk));
        write_all(file.get(), reinterpret_cast<const unsigned char*>(words.data()), n, path);
        left -= n;
    }
    close_file(std::move(file), path);
}

void write_dng_raw(const fs::path& path, std::uintmax_t size, std::uint64_t seed)
{
    DngOptions options;
    options.seed = seed;
    options.compressed = false;
    options.width = size >= 64 * 1024 ? 256 : 32;
    options.height = uncompressed_dng_height(options.width, size);
    options.pad_to = size;
    write_file_bytes(path, make_dng(options));
}

std::string small_dng(std::uint64_t seed)
{
    DngOptions options;
    options.width = 32;
    options.height = 24;
    options.seed = seed;
    const std::vector<unsigned char> bytes = make_dng(options);
    return std::string(bytes.begin(), bytes.end());
}

void set_file_time(const fs::path& path, std::time_t when)
{
    const timespec times[2] = {{when, 0}, {when, 0}};
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        fail("can't set the time of", path, errno);
}

CardLayout preset(std::string_view name)
{
    CardLayout layout;
    if (name == "demo") {
        layout.pairs = 6;
        layout.lone_jpegs = 1;
        layout.folders = 2;
        layout.raw_bytes = 200 * 1024;
        layout.distinct_jpegs = 7;
        layout.extras = true;
        layout.hidden = true;
    } else if (name == "bench") {
        layout.pairs = 100;
        layout.folders = 2;
        layout.jpeg_width = 4000;
        layout.jpeg_height = 3000;
        layout.raw_kind = RawKind::compressed_dng;
    } else if (name == "many") {
        layout.lone_raws = 2000;
        layout.folders = 4;
        layout.lone_raw_bytes = 100 * 1024;
    } else {
        throw std::invalid_argument("unknown preset \"" + std::string(name) + "\" (demo, bench or many)");
    }
    return layout;
}

namespace {

void check_layout(const CardLayout& s)
{
    if (s.pairs < 0 || s.lone_jpegs < 0 || s.lone_raws < 0)
        throw std::invalid_argument("shot counts must not be negative");
    if (static_cast<long long>(s.pairs) + s.lone_jpegs + s.lone_raws > 1'000'000)
        throw std::invalid_argument("at most 1000000 shots");
    // Folder numbers have three digits and start at 100.
    if (s.folders < 1 || s.folders > 900)
        throw std::invalid_argument("folder count must be 1 to 900");
    if (s.jpeg_width <= 0 || s.jpeg_height <= 0 || s.quality < 1 || s.quality > 100 || s.distinct_jpegs < 1)
        throw std::invalid_argument("JPEG size, quality (1-100) and distinct count must be positive");
    if (s.raw_width < 22 || s.raw_height < 22 || s.raw_width > 65535 || s.raw_height > 65535 ||
        s.distinct_raws < 1)
        throw std::invalid_argument("raw size must be 22 to 65535 each way, distinct raws positive");
}

std::string camera_name(int index, const char* extension)
{
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04d.%s", index % 9999 + 1, extension);
    return name;
}

class CardWriter {
public:
    CardWriter(const fs::path& card, const CardLayout& layout) : m_card(card), m_layout(layout) {}

    void shot(int index, int total);
    void extras();
    void hidden();
    std::vector<CardFile> take() { return std::move(m_made); }

private:
    std::string folder_of(int index, int total) const;
    static std::time_t time_of(int index, int total);
    const std::vector<unsigned char>& next_jpeg();
    void write_raw(const std::string& rel, std::uintmax_t size, int index);
    void finish(const std::string& rel, FileKind kind, std::time_t when);

    fs::path m_card;
    const CardLayout& m_layout;
    std::vector<CardFile> m_made;
    std::vector<std::vector<unsigned char>> m_pictures;  // encoded on first use
    std::vector<std::vector<unsigned char>> m_raws;      // compressed DNGs, encoded on first use
    int m_jpeg_count = 0;
};

// Shots fill the folders in order, like a camera that opens a new folder when one is full.
std::string CardWriter::folder_of(int index, int total) const
{
    const int per_folder = (total + m_layout.folders - 1) / m_layout.folders;
    const std::string rel = "DCIM/" + std::to_string(100 + index / per_folder) + "CANON";
    fs::create_directories(m_card / rel);
    return rel;
}

std::time_t CardWriter::time_of(int index, int total)
{
    const int first_half = (total + 1) / 2;
    const std::time_t day = index < first_half ? kDayOne : kDayTwo;
    const int in_day = index < first_half ? index : index - first_half;
    // Four seconds a shot, wrapping so that even huge cards stay before midnight.
    return day + (in_day % 10000) * 4;
}

// Encoding is most of the work of making a card, so only a few pictures are encoded and
// later JPEGs reuse their bytes.
const std::vector<unsigned char>& CardWriter::next_jpeg()
{
    const std::size_t which = static_cast<std::size_t>(m_jpeg_count++ % m_layout.distinct_jpegs);
    if (which == m_pictures.size()) {
        JpegOptions options;
        options.width = m_layout.jpeg_width;
        options.height = m_layout.jpeg_height;
        options.quality = m_layout.quality;
        options.seed = which + 1 + m_layout.seed * 1000;
        m_pictures.push_back(make_jpeg(options));
    }
    return m_pictures[which];
}

// Uncompressed DNGs are cheap to make, so each is a picture of its own; compressed ones
// take long enough to be reused like JPEGs.
void CardWriter::write_raw(const std::string& rel, std::uintmax_t size, int index)
{
    const fs::path path = m_card / rel;
    // Cards of other seeds hold other raws.
    const std::uint64_t seed = static_cast<std::uint64_t>(index) + 1 + m_layout.seed * 1000003;
    if (m_layout.raw_kind == RawKind::random) {
        write_random_file(path, size, seed);
        return;
    }
    if (m_layout.raw_kind == RawKind::dng) {
        write_dng_raw(path, size, seed);
        return;
    }
    DngOptions options;
    const std::size_t which = static_cast<std::size_t>(index % m_layout.distinct_raws);
    while (m_raws.size() <= which) {
        options.width = m_layout.raw_width;
        options.height = m_layout.raw_height;
        options.seed = m_raws.size() + 1 + m_layout.seed * 1000;
        m_raws.push_back(make_dng(options));
    }
    write_file_bytes(path, m_raws[which]);
}

void CardWriter::finish(const std::string& rel, FileKind kind, std::time_t when)
{
    const fs::path path = m_card / rel;
    set_file_time(path, when);
    m_made.push_back({rel, kind, fs::file_size(path), when});
}

// Shots run pairs first, then raw-only ones, then JPEG-only ones; a pair shares its time.
void CardWriter::shot(int index, int total)
{
    const std::string folder = folder_of(index, total);
    const std::time_t when = time_of(index, total);
    const bool jpeg = index < m_layout.pairs || index >= m_layout.pairs + m_layout.lone_raws;
    const bool raw = index < m_layout.pairs + m_layout.lone_raws;
    if (jpeg) {
        const std::string rel = folder + "/" + camera_name(index, "JPG");
        write_file_bytes(m_card / rel, next_jpeg());
        finish(rel, FileKind::Jpeg, when);
    }
    if (raw) {
        const std::string rel = folder + "/" + camera_name(index, "CR2");
        const bool paired = index < m_layout.pairs;
        write_raw(rel, paired ? m_layout.raw_bytes : m_layout.lone_raw_bytes, index);
        finish(rel, FileKind::Raw, when);
    }
}

// A movie's thumbnail (itself a JPEG, but not named like one) and a voice memo.
void CardWriter::extras()
{
    fs::create_directories(m_card / "DCIM/MISC");
    JpegOptions thumb;
    thumb.width = 160;
    thumb.height = 120;
    thumb.seed = 1001;
    write_jpeg(m_card / "DCIM/MISC/MVI_0001.THM", thumb);
    finish("DCIM/MISC/MVI_0001.THM", FileKind::Other, kDayOne);
    write_random_file(m_card / "DCIM/MISC/SND_0001.WAV", 64 * 1024, 1002);
    finish("DCIM/MISC/SND_0001.WAV", FileKind::Other, kDayOne);
}

// What other systems leave on a card: names starting with "." that ingestion must skip.
void CardWriter::hidden()
{
    fs::create_directories(m_card / "DCIM/100CANON");
    write_file_bytes(m_card / "DCIM/.hidden", {'s', 'k', 'i', 'p', '\n'});
    finish("DCIM/.hidden", FileKind::Hidden, kDayOne);
    write_random_file(m_card / "DCIM/100CANON/._IMG_0001.JPG", 4096, 1003);
    finish("DCIM/100CANON/._IMG_0001.JPG", FileKind::Hidden, kDayOne);
}

}  // namespace

std::vector<CardFile> make_card(const fs::path& card, const CardLayout& layout)
{
    check_layout(layout);
    fs::create_directories(card / "DCIM");
    CardWriter writer(card, layout);
    const int total = layout.pairs + layout.lone_raws + layout.lone_jpegs;
    for (int index = 0; index < total; ++index)
        writer.shot(index, total);
    if (layout.extras)
        writer.extras();
    if (layout.hidden)
        writer.hidden();
    return writer.take();
}

int count_kind(const std::vector<CardFile>& files, FileKind kind)
{
    return static_cast<int>(std::count_if(files.begin(), files.end(),
                                          [kind](const CardFile& f) { return f.kind == kind; }));
}

std::string summary_line(const std::vector<CardFile>& files, const fs::path& card)
{
    return "made " + std::to_string(files.size()) + " files (" +
           std::to_string(count_kind(files, FileKind::Raw)) + " raw, " +
           std::to_string(count_kind(files, FileKind::Jpeg)) + " jpeg, " +
           std::to_string(count_kind(files, FileKind::Other)) + " other, " +
           std::to_string(count_kind(files, FileKind::Hidden)) + " hidden) in " + card.string();
}

}  // namespace oakvane::cardgen
