#include "exif_data.h"

#include <cstdint>
#include <stdexcept>

namespace oakvane::cardgen {

namespace {

constexpr std::uint16_t kExifPointerTag = 0x8769;
constexpr std::uint16_t kDateTimeOriginalTag = 0x9003;
constexpr std::uint16_t kOffsetTimeOriginalTag = 0x9011;
constexpr std::uint16_t kLongType = 4;
constexpr std::uint16_t kAsciiType = 2;
constexpr std::uint32_t kFirstIfd = 8;
constexpr std::uint32_t kExifIfd = kFirstIfd + 2 + 12 + 4;  // after IFD0's one entry

void put16(std::vector<unsigned char>& out, std::uint16_t v)
{
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void put32(std::vector<unsigned char>& out, std::uint32_t v)
{
    put16(out, static_cast<std::uint16_t>(v));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}

void entry(std::vector<unsigned char>& out, std::uint16_t tag, std::uint16_t type,
           std::uint32_t count, std::uint32_t value)
{
    put16(out, tag);
    put16(out, type);
    put32(out, count);
    put32(out, value);
}

}  // namespace

std::vector<unsigned char> exif_tiff(std::string_view date_time, std::string_view offset)
{
    const std::uint16_t entries = offset.empty() ? 1 : 2;
    const std::uint32_t data = kExifIfd + 2 + 12u * entries + 4;
    const std::uint32_t date_count = static_cast<std::uint32_t>(date_time.size() + 1);
    std::vector<unsigned char> out = {'I', 'I', 0x2a, 0};
    put32(out, kFirstIfd);
    put16(out, 1);
    entry(out, kExifPointerTag, kLongType, 1, kExifIfd);
    put32(out, 0);
    put16(out, entries);
    entry(out, kDateTimeOriginalTag, kAsciiType, date_count, data);
    if (!offset.empty())
        entry(out, kOffsetTimeOriginalTag, kAsciiType,
              static_cast<std::uint32_t>(offset.size() + 1), data + date_count);
    put32(out, 0);
    out.insert(out.end(), date_time.begin(), date_time.end());
    out.push_back(0);
    out.insert(out.end(), offset.begin(), offset.end());
    if (!offset.empty())
        out.push_back(0);
    return out;
}

std::vector<unsigned char> with_exif(const std::vector<unsigned char>& jpeg,
                                     std::string_view date_time, std::string_view offset)
{
    if (jpeg.size() < 2 || jpeg[0] != 0xff || jpeg[1] != 0xd8)
        throw std::invalid_argument("with_exif: not a JPEG");
    const std::vector<unsigned char> tiff = exif_tiff(date_time, offset);
    std::vector<unsigned char> out = {0xff, 0xd8, 0xff, 0xe1};
    const std::size_t length = 2 + 6 + tiff.size();  // the length field counts itself
    out.push_back(static_cast<unsigned char>(length >> 8));
    out.push_back(static_cast<unsigned char>(length));
    for (char c : {'E', 'x', 'i', 'f', '\0', '\0'})
        out.push_back(static_cast<unsigned char>(c));
    out.insert(out.end(), tiff.begin(), tiff.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

}  // namespace oakvane::cardgen
