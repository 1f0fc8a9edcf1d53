// Raws checked by decoding them, through copycard: a good card has every raw decoded, each
// kind of damaged raw ends the run at its own file with nothing after it published, and a
// raw the decoder can't read through no fault of its own is counted, with why.

#include "e2e_support.h"

#include "dng_writer.h"

namespace oakvane::e2e {
namespace {

using Lines = std::vector<std::string>;
using test::list_tree;

constexpr std::time_t kDayOne = cardgen::kDayOne;

std::string compressed_dng(std::uint64_t seed)
{
    cardgen::DngOptions options;
    options.width = 96;
    options.height = 64;
    options.seed = seed;
    const std::vector<unsigned char> bytes = cardgen::make_dng(options);
    return std::string(bytes.begin(), bytes.end());
}

std::string jpeg_text()
{
    const std::vector<unsigned char> bytes = cardgen::make_jpeg(cardgen::JpegOptions{});
    return std::string(bytes.begin(), bytes.end());
}

// A TIFF of three 8-bit samples a pixel, as a scanner or an editor writes it.
std::string rgb_tiff()
{
    const unsigned char head[] = {'I', 'I', 42, 0, 8, 0, 0, 0, 8, 0,
                                  0, 1, 3, 0, 1, 0, 0, 0, 4, 0, 0, 0,     // width 4
                                  1, 1, 3, 0, 1, 0, 0, 0, 4, 0, 0, 0,     // height 4
                                  2, 1, 3, 0, 1, 0, 0, 0, 8, 0, 0, 0,     // 8 bits
                                  3, 1, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,     // uncompressed
                                  6, 1, 3, 0, 1, 0, 0, 0, 2, 0, 0, 0,     // RGB
                                  17, 1, 4, 0, 1, 0, 0, 0, 110, 0, 0, 0,  // strip at 110
                                  21, 1, 3, 0, 1, 0, 0, 0, 3, 0, 0, 0,    // 3 samples
                                  23, 1, 4, 0, 1, 0, 0, 0, 48, 0, 0, 0,   // 48 bytes
                                  0, 0, 0, 0};
    return std::string(std::begin(head), std::end(head)) + std::string(48, '\x80');
}

class RawVerifyTest : public E2eTest {
protected:
    // IMG_0001.CR2 .. IMG_0005.CR2, alternately compressed and uncompressed DNGs, with a
    // JPEG beside each; the one at bad gets the content given.
    void raw_card(int bad = 0, const std::string& content = {})
    {
        for (int i = 1; i <= 5; ++i) {
            const std::string name = "DCIM/100CANON/IMG_000" + std::to_string(i);
            add_jpeg(name + ".JPG", kDayOne + i, i);
            if (i == bad)
                add_bytes(name + ".CR2", kDayOne + i, content);
            else if (i % 2)
                add_bytes(name + ".CR2", kDayOne + i, compressed_dng(i));
            else
                add_raw(name + ".CR2", kDayOne + i, 20000, i);
        }
    }
    IngestArgs flat_args() const
    {
        IngestArgs a = args();
        a.fmt = "EEEE";
        return a;
    }
};

TEST_F(RawVerifyTest, GoodCardHasEveryRawDecoded)
{
    raw_card();
    add_bytes("DCIM/100CANON/IMG_0006.DNG", kDayOne + 6, compressed_dng(6));
    add_bytes("DCIM/100CANON/SCAN_0001.TIF", kDayOne + 7, rgb_tiff());
    card_done();

    const ProcessResult r = run_copycard(flat_args());

    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    const Lines out = output_lines(r.out);
    for (const std::string line : {"    Raws verified: 6", "    JPEGs verified: 5",
                                    "    Files copied without error but unverified: 1",
                                    "    Raws not checked by decoding: 1 (not a camera raw)"})
        EXPECT_NE(std::find(out.begin(), out.end(), line), out.end()) << line << "\n" << r.out;
    // The decoder's own messages never reach the terminal.
    EXPECT_EQ(r.err.find("raw"), std::string::npos) << r.err;
    EXPECT_EQ(list_tree(primary()).size(), 12u);
}

struct Damage {
    const char* name;
    std::string content;
    const char* reason;
};

void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }

class DamagedRawTest : public RawVerifyTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedRawTest, EndsTheRunAtThatRaw)
{
    raw_card(3, GetParam().content);
    card_done();

    const ProcessResult r = run_copycard(flat_args());

    const std::string bad = (primary() / "IMG_0003.CR2").string();
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    EXPECT_EQ(last_lines(output_lines(r.out), 3),
              error_tail({"Possibly corrupt raw: " + bad + " (" + GetParam().reason + ")"}))
        << r.out;
    // Files before it in the folder stay; it and everything after it are never published.
    for (const std::string& name : list_tree(primary()))
        EXPECT_LT(name, "IMG_0003.CR2") << name;
    expect_only_complete_files(primary());
    expect_card_unchanged();
}

std::string cut_in_half(std::string s)
{
    s.resize(s.size() / 2);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DamagedRawTest,
    ::testing::Values(
        Damage{"CompressedCutShort", cut_in_half(compressed_dng(3)), "the file ends before its raw image does"},
        Damage{"UncompressedCutShort", cut_in_half(cardgen::small_dng(3)),
               "the file ends before its raw image does"},
        Damage{"ZeroFilled", std::string(20000, '\0'), "its first bytes are those of no raw file"},
        Damage{"JpegUnderARawName", jpeg_text(), "its first bytes are those of no raw file"}),
    [](const auto& info) { return std::string(info.param.name); });

// Switched off, raws are checked by their size alone, and the report says so; a value
// that is neither 0 nor 1 is refused before anything is copied.
TEST_F(RawVerifyTest, DecodingSwitchedOffKeepsSizeChecksAndSaysSo)
{
    raw_card(3, std::string(20000, '\0'));
    card_done();

    ProcessResult r = run_copycard(flat_args(), {"OAKVANE_RAW_DECODE=0"});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    const Lines out = output_lines(r.out);
    for (const std::string line : {"    Raws verified: 0", "    Files copied without error but unverified: 5",
                                    "    Raws not checked by decoding: 5 (raw decoding is switched off)"})
        EXPECT_NE(std::find(out.begin(), out.end(), line), out.end()) << line << "\n" << r.out;

    fs::remove_all(backup());
    fs::remove_all(primary());
    r = run_copycard(flat_args(), {"OAKVANE_RAW_DECODE=no"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("OAKVANE_RAW_DECODE must be 0 or 1"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(backup()));
}

}  // namespace
}  // namespace oakvane::e2e
