#include "jpeg_verify.h"

#include "cardgen.h"
#include "recording_host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

namespace oakvane::test {
namespace {

namespace cardgen = oakvane::cardgen;
namespace fs = std::filesystem;

// Decodes the JPEG file at path completely and reports it as a run does: true when it
// opened, decoded to the last row without a fatal error and the decoder gave no warning.
bool verify_jpeg(oakvane::Run& run, const std::string& path)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return report_jpeg_check(run, fd ? decode_jpeg(fd.get()) : unopenable_jpeg(path));
}

std::string jpeg_text(const cardgen::JpegOptions& options)
{
    const auto bytes = cardgen::make_jpeg(options);
    return std::string(bytes.begin(), bytes.end());
}

// Offset just past the segment that starts with marker (0xFF, code); npos when absent.
std::size_t segment_end(const std::string& jpeg, unsigned char code)
{
    const std::size_t at = jpeg.find(std::string{'\xff', static_cast<char>(code)});
    if (at == std::string::npos)
        return at;
    const auto length = static_cast<unsigned char>(jpeg[at + 2]) << 8 | static_cast<unsigned char>(jpeg[at + 3]);
    return at + 2 + length;
}

class JpegVerify : public ::testing::Test {
protected:
    std::string put(const std::string& name, const std::string& content)
    {
        write_file(dir.path() / name, content);
        return dir / name;
    }

    // verify_jpeg, keeping the diagnostics it gave in said.
    bool verify(const std::string& path)
    {
        host.diagnostics.clear();
        const bool passed = verify_jpeg(step.run, path);
        said = host.diagnostics;
        return passed;
    }

    void expect_warning_line()
    {
        ASSERT_EQ(host.lines.size(), 1u);
        long count = 0;
        ASSERT_EQ(std::sscanf(host.lines[0].c_str(), "JPEG Verification Warnings: %ld", &count), 1) << host.lines[0];
        EXPECT_GE(count, 1);
        EXPECT_EQ(host.lines[0], "JPEG Verification Warnings: " + std::to_string(count));
    }

    TempDir dir;
    StepRun step;
    RecordingHost& host = step.host;
    std::vector<std::string> said;
};

TEST_F(JpegVerify, WellFormedJpegsPassSilently)
{
    cardgen::JpegOptions baseline, progressive, grey, ragged;
    progressive.progressive = true;
    grey.greyscale = true;
    ragged.width = 33;  // partial blocks at the right and bottom edges
    ragged.height = 17;
    const std::string progressive_jpeg = jpeg_text(progressive);
    const std::string grey_jpeg = jpeg_text(grey);
    // Make sure the variants are what their names claim, or passing them proves nothing.
    ASSERT_NE(progressive_jpeg.find("\xff\xc2"), std::string::npos);
    const std::size_t sof = grey_jpeg.find("\xff\xc0");
    ASSERT_NE(sof, std::string::npos);
    ASSERT_EQ(grey_jpeg[sof + 9], 1) << "component count";

    for (const auto& [name, content] : {std::pair{"baseline.JPG", jpeg_text(baseline)},
                                        std::pair{"progressive.JPG", progressive_jpeg},
                                        std::pair{"grey.JPG", grey_jpeg},
                                        std::pair{"ragged.JPG", jpeg_text(ragged)}}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(verify(put(name, content)));
        EXPECT_EQ(said, std::vector<std::string>{});
    }
    EXPECT_TRUE(host.texts.empty());
}

TEST_F(JpegVerify, JpegCutShortInScanDataFailsWithWarningCount)
{
    const std::string jpeg = jpeg_text({});
    const std::size_t scan = segment_end(jpeg, 0xda);
    ASSERT_LT(scan, jpeg.size());
    EXPECT_FALSE(verify(put("cut.JPG", jpeg.substr(0, scan + (jpeg.size() - scan) / 2))));
    expect_warning_line();
    ASSERT_EQ(host.texts.size(), 1u);
    EXPECT_EQ(host.texts[0].back(), '\n');
}

// A flipped bit in entropy-coded data usually decodes to a wrong but valid block, which
// no decoder notices; a marker where none belongs is damage it does report.
TEST_F(JpegVerify, BogusMarkerInScanDataFailsWithWarningCount)
{
    std::string jpeg = jpeg_text({});
    const std::size_t scan = segment_end(jpeg, 0xda);
    const std::size_t at = scan + (jpeg.size() - scan) / 2;
    jpeg[at] = '\xff';
    jpeg[at + 1] = '\xd4';  // RST4, though the file declares no restart interval
    EXPECT_FALSE(verify(put("damaged.JPG", jpeg)));
    expect_warning_line();
}

// Bytes between the last scan and the end marker are found only by finishing the decode;
// warnings counted before that would let the file pass.
TEST_F(JpegVerify, JunkBeforeTheEndMarkerFailsWithWarningCount)
{
    std::string jpeg = jpeg_text({});
    ASSERT_TRUE(jpeg.ends_with("\xff\xd9"));
    jpeg.insert(jpeg.size() - 2, "junk after the picture");
    EXPECT_FALSE(verify(put("junk.JPG", jpeg)));
    expect_warning_line();
}

// Fatal decoder errors reach only the diagnostics, even when the decoder also warned
// before giving up (a file ending inside its headers).
TEST_F(JpegVerify, FilesThatAreNoImageFailWithoutOutputLine)
{
    const std::string jpeg = jpeg_text({});
    for (const auto& [name, content] : {std::pair{"text.JPG", std::string("not a picture\n")},
                                        std::pair{"empty.JPG", std::string()},
                                        std::pair{"headers.JPG", jpeg.substr(0, segment_end(jpeg, 0xdb))}}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(verify(put(name, content)));
        EXPECT_NE(said, std::vector<std::string>{});
    }
    EXPECT_TRUE(host.texts.empty());
}

TEST_F(JpegVerify, MissingFileFailsWithCantOpen)
{
    const std::string path = dir / "IMG_0001.JPG";
    EXPECT_FALSE(verify(path));
    EXPECT_EQ(said, std::vector<std::string>{"can't open " + path});
    EXPECT_TRUE(host.texts.empty());
}

TEST_F(JpegVerify, FailureDoesNotCarryOverToTheNextFile)
{
    const std::string jpeg = jpeg_text({});
    EXPECT_FALSE(verify(put("text.JPG", "not a picture")));
    EXPECT_FALSE(verify(put("cut.JPG", jpeg.substr(0, jpeg.size() - 100))));
    EXPECT_TRUE(verify(put("good.JPG", jpeg)));
    EXPECT_EQ(said, std::vector<std::string>{});
    EXPECT_EQ(host.lines.size(), 1u);
}

struct Times {
    std::time_t access;
    std::time_t modification;
};

Times times_of(const fs::path& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        ADD_FAILURE() << "can't stat " << path;
    return {st.st_atime, st.st_mtime};
}

TEST(CardGen, DemoPresetMakesTheDescribedTree)
{
    StepRun step;
    TempDir card;
    const auto files = cardgen::make_card(card.path(), cardgen::preset("demo"));

    const std::vector<std::string> expected = {
        "DCIM/.hidden",
        "DCIM/100CANON/._IMG_0001.JPG",
        "DCIM/100CANON/IMG_0001.CR2", "DCIM/100CANON/IMG_0001.JPG",
        "DCIM/100CANON/IMG_0002.CR2", "DCIM/100CANON/IMG_0002.JPG",
        "DCIM/100CANON/IMG_0003.CR2", "DCIM/100CANON/IMG_0003.JPG",
        "DCIM/100CANON/IMG_0004.CR2", "DCIM/100CANON/IMG_0004.JPG",
        "DCIM/101CANON/IMG_0005.CR2", "DCIM/101CANON/IMG_0005.JPG",
        "DCIM/101CANON/IMG_0006.CR2", "DCIM/101CANON/IMG_0006.JPG",
        "DCIM/101CANON/IMG_0007.JPG",
        "DCIM/MISC/MVI_0001.THM", "DCIM/MISC/SND_0001.WAV"};
    EXPECT_EQ(list_tree(card.path()), expected);
    EXPECT_EQ(cardgen::summary_line(files, "c"), "made 17 files (6 raw, 7 jpeg, 2 other, 2 hidden) in c");

    std::set<std::time_t> days;
    for (const auto& file : files) {
        SCOPED_TRACE(file.path);
        const fs::path path = card.path() / file.path;
        EXPECT_EQ(fs::file_size(path), file.size);
        const Times times = times_of(path);
        EXPECT_EQ(times.modification, file.mtime);
        EXPECT_EQ(times.access, file.mtime);
        days.insert(file.mtime - file.mtime % 86400);
        if (file.kind == cardgen::FileKind::Jpeg) {
            EXPECT_TRUE(verify_jpeg(step.run, path.string()));
        }
    }
    EXPECT_EQ(days, (std::set<std::time_t>{cardgen::kDayOne - 43200, cardgen::kDayTwo - 43200}));
    EXPECT_TRUE(step.host.texts.empty());
}

TEST(CardGen, FullSizeJpegIsAboutAsLargeAsAPhotograph)
{
    cardgen::JpegOptions options;
    options.width = 4000;
    options.height = 3000;
    const auto size = cardgen::make_jpeg(options).size();
    EXPECT_GT(size, 4'000'000u);
    EXPECT_LT(size, 5'000'000u);
}

}  // namespace
}  // namespace oakvane::test
