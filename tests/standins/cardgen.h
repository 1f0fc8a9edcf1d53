#pragma once
// Makes camera memory cards on disk: real JPEGs, raws the raw decoder accepts (or stand-ins
// of random bytes), the odd extra and hidden files, with camera-style names and fixed modification times. Used by
// make_sample_card, the tests and the benchmark. A failure to write throws
// std::runtime_error naming the file and the system's reason; a bad description throws
// std::invalid_argument.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace oakvane::cardgen {

// Midday UTC on the two shooting days every card is spread over.
inline constexpr std::time_t kDayOne = 1150113600;  // 2006-06-12 12:00:00 UTC
inline constexpr std::time_t kDayTwo = kDayOne + 86400;

struct JpegOptions {
    int width = 640;
    int height = 480;
    int quality = 90;
    bool progressive = false;
    bool greyscale = false;
    std::uint64_t seed = 1;  // different seeds give different pictures
};

// A baseline (or progressive) JPEG of noise over gradients, which compresses about as
// well as a photograph: 4000x3000 at quality 90 comes to about 4.5 MB.
std::vector<unsigned char> make_jpeg(const JpegOptions& options);
void write_jpeg(const std::filesystem::path& path, const JpegOptions& options);

// Writes data as the whole content of path, replacing any file there.
void write_file_bytes(const std::filesystem::path& path, const std::vector<unsigned char>& data);

// Writes size pseudo-random bytes, the same ones for the same seed.
void write_random_file(const std::filesystem::path& path, std::uintmax_t size, std::uint64_t seed);

// Writes a raw the raw decoder accepts (an uncompressed DNG) of exactly size bytes where
// size leaves room for its header and 22 rows of 32 (about 1.7 KB); the same one for the
// same seed.
void write_dng_raw(const std::filesystem::path& path, std::uintmax_t size, std::uint64_t seed);

// A small raw the raw decoder accepts, as the content of a test's file.
std::string small_dng(std::uint64_t seed);

// Sets both the access and the modification time of path.
void set_file_time(const std::filesystem::path& path, std::time_t when);

enum class RawKind {
    dng,             // an uncompressed DNG of exactly the raw size asked for
    compressed_dng,  // a lossless-JPEG DNG of raw_width x raw_height, whatever its size
    random,          // random bytes, for runs that decode no raws
};

struct CardLayout {
    int pairs = 0;       // shots kept as RAW+JPEG
    int lone_jpegs = 0;  // shots kept as JPEG only
    int lone_raws = 0;   // shots kept as raw only
    int folders = 1;     // camera folders 100CANON, 101CANON, ... sharing the shots in order
    int jpeg_width = 640;
    int jpeg_height = 480;
    int quality = 90;
    std::uintmax_t raw_bytes = 0;        // size of the raw of a pair
    std::uintmax_t lone_raw_bytes = 0;   // size of a raw-only shot
    RawKind raw_kind = RawKind::dng;
    int raw_width = 6000;                // of a compressed DNG: 24 megapixels
    int raw_height = 4000;
    int distinct_raws = 4;               // compressed DNGs encoded; further raws reuse their bytes
    int distinct_jpegs = 4;              // pictures encoded; further JPEGs reuse their bytes
    bool extras = false;                 // DCIM/MISC with a .THM and a .WAV stand-in
    bool hidden = false;                 // ".hidden" and an AppleDouble "._IMG_0001.JPG"
    std::uint64_t seed = 0;              // cards of other seeds hold other pictures and raws
};

// "demo": 6 pairs and one lone JPEG of 640x480, raws of 200 KB, 2 folders, extras, hidden.
// "bench": 100 pairs of 4000x3000 JPEGs and 24-megapixel compressed DNG raws in 2 folders.
// "many": 2000 raw-only shots of 100 KB in 4 folders.
// Throws std::invalid_argument for any other name.
CardLayout preset(std::string_view name);

enum class FileKind { Raw, Jpeg, Other, Hidden };

struct CardFile {
    std::string path;  // relative to the card folder, with "/"
    FileKind kind;
    std::uintmax_t size;
    std::time_t mtime;  // also the access time
};

// Makes the tree DCIM/<folders>/... below card (created with its parents) and returns
// every file made, in the order made. Shot numbers run on across folders, from 0001 and
// wrapping after 9999; the first half of the shots is dated kDayOne, the rest kDayTwo.
std::vector<CardFile> make_card(const std::filesystem::path& card, const CardLayout& layout);

int count_kind(const std::vector<CardFile>& files, FileKind kind);

// "made 17 files (6 raw, 7 jpeg, 2 other, 2 hidden) in <card>"
std::string summary_line(const std::vector<CardFile>& files, const std::filesystem::path& card);

}  // namespace oakvane::cardgen
