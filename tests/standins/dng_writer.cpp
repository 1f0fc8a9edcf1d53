#include "dng_writer.h"

#include "random_bits.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <stdexcept>
#include <string>

namespace oakvane::cardgen {

namespace {

constexpr int kCompressedBits = 14;
// The raw decoder takes nothing smaller for a picture.
constexpr int kMinDngSide = 22;
constexpr int kCategories = 17;  // lossless JPEG differences take 0 to 16 bits

// A sensor's view of soft gradients with a little noise: what a raw coder sees in a photo,
// so compressed sizes come out near a camera's.
std::vector<std::uint16_t> sensor_image(int width, int height, int bits, std::uint64_t seed)
{
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(width) * height);
    Random noise(seed);
    const int top = (1 << bits) - 1;
    const int noise_span = bits >= 16 ? 65536 : 64;
    const int phase = static_cast<int>(seed % 997);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int base = ((x + phase) * 3 + y * 2) % (top / 2) + top / 8;
            const int jitter = static_cast<int>(noise.next() % noise_span) - noise_span / 2;
            samples[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint16_t>(std::clamp(base + jitter, 0, top));
        }
    return samples;
}

class BitWriter {
public:
    explicit BitWriter(std::vector<unsigned char>& out) : m_out(out) {}
    void put(std::uint32_t bits, int count)
    {
        m_bits = (m_bits << count) | (bits & ((1ULL << count) - 1));
        m_count += count;
        while (m_count >= 8) {
            const auto byte = static_cast<unsigned char>(m_bits >> (m_count - 8));
            m_out.push_back(byte);
            if (byte == 0xFF)
                m_out.push_back(0);  // stuffed, so the byte is not read as a marker
            m_count -= 8;
        }
    }
    // The last byte is filled with ones.
    void finish()
    {
        if (m_count > 0)
            put((1u << (8 - m_count)) - 1, 8 - m_count);
    }

private:
    std::vector<unsigned char>& m_out;
    std::uint64_t m_bits = 0;
    int m_count = 0;
};

int category(int diff)
{
    return diff == 0 ? 0 : std::bit_width(static_cast<unsigned>(diff < 0 ? -diff : diff));
}

// Predictor 1 (the sample to the left), with the first column predicted from above and the
// very first sample from the middle of the range.
template <typename Visit>
void for_each_difference(const std::vector<std::uint16_t>& s, int width, int height, int precision,
                         Visit visit)
{
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            const int predicted = x > 0 ? s[i - 1] : y > 0 ? s[i - width] : 1 << (precision - 1);
            visit(static_cast<int>(s[i]) - predicted);
        }
}

struct HuffmanTable {
    std::array<std::uint8_t, 17> counts{};  // codes of each length 1..16 (index 0 unused)
    std::vector<std::uint8_t> symbols;      // in code order
    std::array<std::uint16_t, kCategories> code{};
    std::array<int, kCategories> length{};
};

// Code lengths from symbol frequencies, limited to 16 bits, the way JPEG coders build
// optimal tables; one extra symbol keeps any code from being all ones.
HuffmanTable build_table(std::array<long, kCategories> frequency)
{
    constexpr int n = kCategories + 1;
    std::array<long, n> freq{};
    std::copy(frequency.begin(), frequency.end(), freq.begin());
    freq[kCategories] = 1;
    std::array<int, n> size{};
    std::array<int, n> others;
    others.fill(-1);
    for (;;) {
        int c1 = -1, c2 = -1;
        for (int i = 0; i < n; ++i)
            if (freq[i] > 0 && (c1 < 0 || freq[i] <= freq[c1]))
                c1 = i;
        for (int i = 0; i < n; ++i)
            if (freq[i] > 0 && i != c1 && (c2 < 0 || freq[i] <= freq[c2]))
                c2 = i;
        if (c2 < 0)
            break;
        freq[c1] += freq[c2];
        freq[c2] = 0;
        for (++size[c1]; others[c1] >= 0; ++size[c1])
            c1 = others[c1];
        others[c1] = c2;
        for (++size[c2]; others[c2] >= 0; ++size[c2])
            c2 = others[c2];
    }
    std::array<int, 40> bits{};
    for (int i = 0; i < n; ++i)
        if (size[i] > 0)
            ++bits[size[i]];
    for (int i = 39; i > 16; --i)
        while (bits[i] > 0) {
            int j = i - 2;
            while (bits[j] == 0)
                --j;
            bits[i] -= 2;
            bits[i - 1] += 1;
            bits[j + 1] += 2;
            bits[j] -= 1;
        }
    int longest = 16;
    while (bits[longest] == 0)
        --longest;
    --bits[longest];  // the extra symbol's code
    HuffmanTable table;
    for (int len = 1; len <= 16; ++len)
        table.counts[len] = static_cast<std::uint8_t>(bits[len]);
    // Shortest codes first; the limit moved some lengths but not this order.
    for (int len = 1; len < 40; ++len)
        for (int s = 0; s < kCategories; ++s)
            if (size[s] == len)
                table.symbols.push_back(static_cast<std::uint8_t>(s));
    // Canonical codes, in the order the decoder rebuilds them.
    std::uint16_t next = 0;
    std::size_t k = 0;
    for (int len = 1; len <= 16; ++len, next = static_cast<std::uint16_t>(next << 1))
        for (int i = 0; i < table.counts[len]; ++i, ++k, ++next) {
            table.code[table.symbols[k]] = next;
            table.length[table.symbols[k]] = len;
        }
    return table;
}

void put16(std::vector<unsigned char>& out, unsigned value)
{
    out.push_back(static_cast<unsigned char>(value >> 8));
    out.push_back(static_cast<unsigned char>(value));
}

// A small TIFF directory writer: entries with their values, laid out after the directory.
class Ifd {
public:
    void add(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::vector<unsigned char> value)
    {
        m_entries.push_back({tag, type, count, std::move(value)});
    }
    void shorts(std::uint16_t tag, std::initializer_list<unsigned> values)
    {
        std::vector<unsigned char> v;
        for (unsigned x : values) {
            v.push_back(static_cast<unsigned char>(x));
            v.push_back(static_cast<unsigned char>(x >> 8));
        }
        add(tag, 3, static_cast<std::uint32_t>(values.size()), v);
    }
    void longs(std::uint16_t tag, std::uint32_t value) { add(tag, 4, 1, le32(value)); }
    void bytes(std::uint16_t tag, std::initializer_list<unsigned char> values)
    {
        add(tag, 1, static_cast<std::uint32_t>(values.size()), std::vector<unsigned char>(values));
    }
    void text(std::uint16_t tag, const std::string& s)
    {
        std::vector<unsigned char> v(s.begin(), s.end());
        v.push_back(0);
        add(tag, 2, static_cast<std::uint32_t>(v.size()), v);
    }
    // The size of the directory and its values once written at offset 8.
    std::size_t size() const
    {
        std::size_t n = 2 + 12 * m_entries.size() + 4;
        for (const Entry& e : m_entries)
            if (e.value.size() > 4)
                n += e.value.size() + (e.value.size() & 1);
        return n;
    }
    // The whole file head: TIFF header and this directory, values after it.
    std::vector<unsigned char> write() const
    {
        std::vector<unsigned char> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
        std::vector<Entry> sorted = m_entries;
        std::sort(sorted.begin(), sorted.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        std::vector<unsigned char> values;
        const std::size_t values_at = 8 + 2 + 12 * sorted.size() + 4;
        append(out, {static_cast<unsigned char>(sorted.size()), static_cast<unsigned char>(sorted.size() >> 8)});
        for (const Entry& e : sorted) {
            append(out, {static_cast<unsigned char>(e.tag), static_cast<unsigned char>(e.tag >> 8),
                         static_cast<unsigned char>(e.type), static_cast<unsigned char>(e.type >> 8)});
            append(out, le32(e.count));
            if (e.value.size() <= 4) {
                std::vector<unsigned char> inline_value = e.value;
                inline_value.resize(4, 0);
                append(out, inline_value);
            } else {
                append(out, le32(static_cast<std::uint32_t>(values_at + values.size())));
                append(values, e.value);
                if (e.value.size() & 1)
                    values.push_back(0);
            }
        }
        append(out, le32(0));
        append(out, values);
        return out;
    }

private:
    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        std::vector<unsigned char> value;
    };
    static std::vector<unsigned char> le32(std::uint32_t v)
    {
        return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    }
    static void append(std::vector<unsigned char>& to, const std::vector<unsigned char>& from)
    {
        to.insert(to.end(), from.begin(), from.end());
    }
    std::vector<Entry> m_entries;
};

// Every tag but where the image data lies.
Ifd dng_directory(const DngOptions& o)
{
    Ifd ifd;
    ifd.longs(254, 0);  // the main image
    ifd.longs(256, static_cast<std::uint32_t>(o.width));
    ifd.longs(257, static_cast<std::uint32_t>(o.height));
    ifd.shorts(258, {o.compressed ? unsigned(kCompressedBits) : 16u});
    ifd.shorts(259, {o.compressed ? 7u : 1u});
    ifd.shorts(262, {32803});  // colour filter array
    ifd.text(271, "Oakvane");
    ifd.text(272, "Card Generator");
    ifd.shorts(277, {1});
    ifd.shorts(284, {1});
    ifd.shorts(33421, {2, 2});
    ifd.bytes(33422, {0, 1, 1, 2});  // RGGB
    ifd.bytes(50706, {1, 4, 0, 0});
    ifd.bytes(50707, {1, 1, 0, 0});
    ifd.text(50708, "Oakvane Card Generator");
    ifd.longs(50717, o.compressed ? (1u << kCompressedBits) - 1 : 65535u);
    return ifd;
}

}  // namespace

std::vector<unsigned char> encode_lossless_jpeg(const std::vector<std::uint16_t>& samples, int width,
                                                int height, int precision)
{
    std::array<long, kCategories> frequency{};
    for_each_difference(samples, width, height, precision, [&](int d) { ++frequency[category(d)]; });
    const HuffmanTable table = build_table(frequency);

    std::vector<unsigned char> out = {0xFF, 0xD8};
    out.insert(out.end(), {0xFF, 0xC3});  // lossless, Huffman coded
    put16(out, 11);
    out.push_back(static_cast<unsigned char>(precision));
    put16(out, static_cast<unsigned>(height));
    put16(out, static_cast<unsigned>(width));
    out.insert(out.end(), {1, 1, 0x11, 0});
    out.insert(out.end(), {0xFF, 0xC4});
    put16(out, static_cast<unsigned>(2 + 1 + 16 + table.symbols.size()));
    out.push_back(0);
    out.insert(out.end(), table.counts.begin() + 1, table.counts.end());
    out.insert(out.end(), table.symbols.begin(), table.symbols.end());
    out.insert(out.end(), {0xFF, 0xDA});
    put16(out, 8);
    out.insert(out.end(), {1, 1, 0, 1, 0, 0});  // one component, predictor 1
    BitWriter bits(out);
    for_each_difference(samples, width, height, precision, [&](int d) {
        const int c = category(d);
        bits.put(table.code[c], table.length[c]);
        if (c > 0 && c < 16)
            bits.put(static_cast<std::uint32_t>(d < 0 ? d - 1 : d), c);
    });
    bits.finish();
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

int uncompressed_dng_height(int width, std::uint64_t size)
{
    DngOptions probe;
    probe.compressed = false;
    Ifd ifd = dng_directory(probe);
    ifd.longs(273, 0);
    ifd.longs(278, 0);
    ifd.longs(279, 0);
    const std::uint64_t head = 8 + ifd.size();
    const std::uint64_t row = 2ULL * static_cast<unsigned>(width);
    const std::uint64_t rows = size > head ? (size - head) / row : 0;
    return static_cast<int>(std::clamp<std::uint64_t>(rows, kMinDngSide, 65535));
}

std::vector<unsigned char> make_dng(const DngOptions& o)
{
    if (o.width < kMinDngSide || o.height < kMinDngSide || o.width > 65535 || o.height > 65535)
        throw std::invalid_argument("a DNG is 22 to 65535 samples wide and high");
    const int bits = o.compressed ? kCompressedBits : 16;
    const std::vector<std::uint16_t> samples = sensor_image(o.width, o.height, bits, o.seed);
    std::vector<unsigned char> data;
    if (o.compressed) {
        data = encode_lossless_jpeg(samples, o.width, o.height, kCompressedBits);
    } else {
        data.resize(samples.size() * 2);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            data[2 * i] = static_cast<unsigned char>(samples[i]);
            data[2 * i + 1] = static_cast<unsigned char>(samples[i] >> 8);
        }
    }
    Ifd ifd = dng_directory(o);
    const int placement_tags = o.compressed ? 4 : 3;
    const auto data_at = static_cast<std::uint32_t>(8 + ifd.size() + placement_tags * 12);
    const auto data_size = static_cast<std::uint32_t>(data.size());
    if (o.compressed) {
        ifd.longs(322, static_cast<std::uint32_t>(o.width));
        ifd.longs(323, static_cast<std::uint32_t>(o.height));
        ifd.longs(324, data_at);
        ifd.longs(325, data_size);
    } else {
        ifd.longs(273, data_at);
        ifd.longs(278, static_cast<std::uint32_t>(o.height));
        ifd.longs(279, data_size);
    }
    std::vector<unsigned char> file = ifd.write();
    if (file.size() != data_at)
        throw std::logic_error("DNG directory size");
    file.insert(file.end(), data.begin(), data.end());
    if (o.pad_to > file.size()) {
        Random noise(o.seed ^ 0x5A5A5A5AULL);
        while (file.size() < o.pad_to)
            file.push_back(static_cast<unsigned char>(noise.next()));
    }
    return file;
}

}  // namespace oakvane::cardgen
