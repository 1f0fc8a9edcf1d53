// Ingestions whose JPEGs decode on several threads, or on one (OAKVANE_VERIFY_WORKERS=1),
// must say and leave exactly what an ingestion that handles one file at a time does.

#include "e2e_support.h"

#include <algorithm>
#include <cstdio>
#include <regex>

namespace oakvane::e2e {
namespace {

using Lines = std::vector<std::string>;

std::string base_name(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

class ParallelVerifyTest : public E2eTest, public ::testing::WithParamInterface<const char*> {
protected:
    std::vector<std::string> env() const
    {
        if (*GetParam())
            return {std::string("OAKVANE_VERIFY_WORKERS=") + GetParam()};
        return {};
    }
};

// A folder of 150 JPEGs and raws whose 140th file, a JPEG, is cut short: the run fails there with the
// decoder's warning line, and no image from it on, nor any sidecar of one, is in the
// primary tree, though later files had already been copied when its result came in.
TEST_P(ParallelVerifyTest, LateCorruptJpegEndsTheRunAtItWithNothingAfterIt)
{
    cardgen::JpegOptions big;
    big.width = 1600;
    big.height = 1200;
    const std::vector<unsigned char> whole = cardgen::make_jpeg(big);
    for (int i = 1; i <= 150; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "DCIM/100CANON/IMG_%04d.", i);
        const std::time_t when = cardgen::kDayOne + i;
        if (i == 140)
            add_bytes(name + std::string("JPG"), when, std::string(whole.begin(), whole.begin() + whole.size() / 2));
        else if (i % 3 == 0)
            add_raw(name + std::string("CR2"), when, 64 * 1024, i);
        else
            add_jpeg(name + std::string("JPG"), when, i);
    }
    card_done();
    IngestArgs a = args();
    a.fmt = "EEEE";
    a.sidecar = template_path();

    const ProcessResult r = run_copycard(a, env());

    EXPECT_EQ(r.exit_code, 1) << r.err;
    const Lines lines = output_lines(r.out);
    ASSERT_GE(lines.size(), 4u) << r.out;
    const Lines tail = last_lines(lines, 4);
    EXPECT_TRUE(std::regex_match(tail[0], std::regex("JPEG Verification Warnings: [1-9][0-9]*"))) << r.out;
    EXPECT_EQ(tail[1], "");
    EXPECT_EQ(tail[2], "ERROR:");
    EXPECT_EQ(tail[3], "Possibly corrupt JPEG: " + (primary() / "IMG_0140.JPG").string());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), tail[0]), 1);
    for (const std::string& file : test::list_tree(primary()))
        EXPECT_LT(base_name(file), "IMG_0140") << file;
    EXPECT_EQ(test::list_tree(backup()).size(), 2u * 150);  // every image and its sidecar
    expect_only_complete_files(backup());
    expect_only_complete_files(primary());
    expect_card_unchanged();
}

INSTANTIATE_TEST_SUITE_P(Workers, ParallelVerifyTest, ::testing::Values("", "1"),
                         [](const auto& info) { return *info.param ? "one" : "all"; });

}  // namespace
}  // namespace oakvane::e2e
