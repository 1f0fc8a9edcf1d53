#pragma once
// Raw files as cameras write them, for cards the raw decoder has to accept: a DNG whose
// colour filter array image is stored either uncompressed (16-bit samples in one strip) or
// lossless-JPEG compressed (14-bit samples in one tile), the way camera DNGs are.

#include <cstdint>
#include <vector>

namespace oakvane::cardgen {

struct DngOptions {
    int width = 256;
    int height = 128;
    bool compressed = true;
    std::uint64_t seed = 1;  // different seeds give different pictures
    // Bytes after the image data so that the file has exactly this size; 0 for none.
    // Raw containers often carry more than their image (previews, maker notes).
    std::uint64_t pad_to = 0;
};

std::vector<unsigned char> make_dng(const DngOptions& options);

// The height of a width-wide uncompressed DNG that comes closest to size bytes without
// passing it (at least 22 rows: the raw decoder takes no smaller picture).
int uncompressed_dng_height(int width, std::uint64_t size);

// The lossless JPEG (predictor 1, one component) of a width x height image of samples of
// precision bits; the coder's own, since the JPEG library cannot write lossless JPEG.
std::vector<unsigned char> encode_lossless_jpeg(const std::vector<std::uint16_t>& samples, int width,
                                                int height, int precision);

}  // namespace oakvane::cardgen
