// A primary folder whose JPEGs decode on worker threads while later files are copied must
// end exactly as if the files had been handled one at a time: same lines, same counts, the
// same failure, and nothing after a failing file in the primary tree.

#include "cardgen.h"
#include "xxh128.h"
#include "convert_folder.h"
#include "jpeg_verify.h"
#include "recording_host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <regex>
#include <unistd.h>

namespace oakvane::test {
namespace {

namespace fs = std::filesystem;

std::string jpeg_text(int width, int height)
{
    cardgen::JpegOptions options;
    options.width = width;
    options.height = height;
    const auto bytes = cardgen::make_jpeg(options);
    return std::string(bytes.begin(), bytes.end());
}

std::size_t thread_count()
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& task : fs::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

// Runs every case with the default number of workers and with one forced.
class VerifyPipeline : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        if (*GetParam())
            ::setenv("OAKVANE_VERIFY_WORKERS", GetParam(), 1);
        fs::create_directories(backup());
        start();
    }
    void TearDown() override { ::unsetenv("OAKVANE_VERIFY_WORKERS"); }

    // A fresh run, copying without a converter.
    void start() { step.emplace(RunRequest{}); }
    oakvane::Run& run() { return step->run; }
    RecordingHost& host() { return step->host; }

    fs::path backup() const { return dir.path() / "backup"; }
    std::string primary() const { return (dir.path() / "primary").string(); }
    std::string backup_file(const std::string& name, const std::string& content)
    {
        write_file(backup() / name, content);
        return (backup() / name).string();
    }
    // n files IMG_0000.JPG, IMG_0001.CR2, IMG_0002.JPG, ...: JPEGs at even places.
    std::vector<std::string> folder_of(int n, const std::string& jpeg)
    {
        std::vector<std::string> files;
        for (int i = 0; i < n; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "IMG_%04d.%s", i, i % 2 ? "CR2" : "JPG");
            files.push_back(backup_file(name, i % 2 ? cardgen::small_dng(i) : jpeg));
        }
        return files;
    }
    Status place(const std::vector<std::string>& files)
    {
        return convert_or_copy_folder(run(), files, primary());
    }
    // The card hashes the backup pass would have recorded for files; the one at bad gets
    // the hash of other bytes, as if its copy had changed on the way to the disk.
    void record_card_hashes(const std::vector<std::string>& files, const std::string& bad = "")
    {
        for (const std::string& path : files) {
            const std::string bytes = path == bad ? std::string("other bytes") : read_file(path);
            Xxh128 hash;
            hash.update(bytes.data(), bytes.size());
            run().source_of_backup[path] = CardEntry{path, bytes.size(), hash.hex()};
        }
    }
    static std::string differs(const std::string& path)
    {
        return "copy differs from the card after writing: \"" + path + "\"";
    }
    static std::string why(const Status& status) { return status ? "" : status.failure().message; }
    // Every name in the primary folder sorts before limit; no staging file is left.
    void expect_nothing_from(const std::string& limit) const
    {
        for (const std::string& name : list_tree(primary())) {
            EXPECT_LT(name, limit);
            EXPECT_NE(name[0], '.') << name;
        }
    }

    TempDir dir;
    std::optional<StepRun> step;
};

TEST_P(VerifyPipeline, LateCorruptJpegEndsTheFolderThereAsOneAtATime)
{
    const std::string good = jpeg_text(320, 240);
    struct Case {
        const char* what;
        std::string bad;
        bool warns;
    };
    for (const Case& c : {Case{"cut short", good.substr(0, good.size() * 6 / 10), true},
                          Case{"no picture", "not a picture\n", false}}) {
        SCOPED_TRACE(c.what);
        start();
        fs::remove_all(primary());
        std::vector<std::string> files = folder_of(200, good);
        files[170] = backup_file("IMG_0170.JPG", c.bad);

        const Status placed = place(files);
        ASSERT_FALSE(placed);
        EXPECT_EQ(placed.failure().message, "Possibly corrupt JPEG: " + primary() + "/IMG_0170.JPG");
        EXPECT_EQ(placed.failure().err, 0);
        if (c.warns) {
            ASSERT_EQ(host().lines.size(), 1u);
            EXPECT_TRUE(std::regex_match(host().lines[0], std::regex("JPEG Verification Warnings: [1-9][0-9]*")));
        } else {
            EXPECT_TRUE(host().lines.empty());
        }
        EXPECT_EQ(host().steps, 171);
        EXPECT_EQ(run().counts.copied_without_conversion, 171);
        EXPECT_EQ(run().counts.jpegs_verified, 85);
        expect_nothing_from("IMG_0170.JPG");
    }
}

// A later file that fails while it is copied ahead of an earlier JPEG's result is never
// reported: one at a time, the run would have ended at the JPEG.
TEST_P(VerifyPipeline, EarlierCorruptJpegOutranksALaterFailure)
{
    const std::string big = jpeg_text(2000, 1500);
    const std::vector<std::string> files = {backup_file("IMG_0001.JPG", big.substr(0, big.size() / 2)),
                                            backup_file("IMG_0002.CR2", "raw")};
    write_file(primary() + "/IMG_0002.CR2", "the library's own");

    EXPECT_EQ(why(place(files)), "Possibly corrupt JPEG: " + primary() + "/IMG_0001.JPG");
    EXPECT_EQ(host().lines.size(), 1u);
    EXPECT_EQ(host().steps, 1);
    EXPECT_EQ(read_file(primary() + "/IMG_0002.CR2"), "the library's own");
    EXPECT_EQ(list_tree(primary()), std::vector<std::string>{"IMG_0002.CR2"});
}

TEST_P(VerifyPipeline, StopWhileWorkersDecodeEndsTheRunAndJoinsThem)
{
    const std::size_t threads_before = thread_count();
    std::vector<std::string> files;
    const std::string big = jpeg_text(3000, 2000);
    for (int i = 0; i < 12; ++i)
        files.push_back(backup_file("IMG_" + std::to_string(1000 + i) + ".JPG", big));
    // Stop as soon as decoding threads exist, that is while the first JPEG decodes.
    host().on_stop_poll = [&](RecordingHost& h) { h.stop = thread_count() > threads_before; };

    EXPECT_EQ(why(place(files)), "Stopped");
    EXPECT_EQ(host().stop, 1);
    EXPECT_EQ(thread_count(), threads_before);
    EXPECT_EQ(list_tree(primary()), std::vector<std::string>{});
    EXPECT_EQ(run().counts.jpegs_verified, 0);
}

// While the engine waits for a decode that takes long (a picture of 65000 x 65000 whose data
// runs out at once decodes for many seconds), Stop still ends the run within a few polls.
TEST_P(VerifyPipeline, StopWhileWaitingForALongDecodeEndsTheRunAtOnce)
{
    std::string jpeg = jpeg_text(64, 48);
    const std::size_t sof = jpeg.find("\xff\xc0");
    ASSERT_NE(sof, std::string::npos);
    for (const std::size_t at : {sof + 5, sof + 7}) {  // height, width
        jpeg[at] = '\xfd';
        jpeg[at + 1] = '\xe8';
    }
    const std::vector<std::string> files = {backup_file("IMG_0001.JPG", jpeg)};
    const auto start = std::chrono::steady_clock::now();
    host().on_stop_poll = [&](RecordingHost& h) {
        h.stop = std::chrono::steady_clock::now() - start > std::chrono::milliseconds(300);
    };

    EXPECT_EQ(why(place(files)), "Stopped");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(list_tree(primary()), std::vector<std::string>{});
}

TEST_P(VerifyPipeline, ManyJpegsAllVerifiedAndPublished)
{
    const std::vector<std::string> files = folder_of(200, jpeg_text(64, 48));
    const Status placed = place(files);
    ASSERT_TRUE(placed) << why(placed);
    EXPECT_EQ(list_tree(primary()).size(), 200u);
    EXPECT_EQ(run().counts.jpegs_verified, 100);
    EXPECT_EQ(run().counts.raws_decoded, 100);
    EXPECT_EQ(run().counts.copied_without_conversion, 200);
    EXPECT_EQ(host().steps, 200);
    EXPECT_TRUE(host().lines.empty());
}

// Raws decode beside the JPEGs under the same rule: the first damaged file in folder order
// ends the folder there, with nothing after it published.
TEST_P(VerifyPipeline, LateCutShortRawEndsTheFolderThereAsOneAtATime)
{
    std::vector<std::string> files = folder_of(200, jpeg_text(64, 48));
    const std::string raw = cardgen::small_dng(171);
    files[171] = backup_file("IMG_0171.CR2", raw.substr(0, raw.size() / 2));

    EXPECT_EQ(why(place(files)),
              "Possibly corrupt raw: " + primary() + "/IMG_0171.CR2 (the file ends before its raw image does)");
    expect_nothing_from("IMG_0171.CR2");
    EXPECT_EQ(run().counts.raws_decoded, 85);
}

TEST_P(VerifyPipeline, LateReadBackMismatchEndsTheFolderThereAsOneAtATime)
{
    std::vector<std::string> files = folder_of(200, jpeg_text(64, 48));
    record_card_hashes(files, files[170]);

    EXPECT_EQ(why(place(files)), differs(primary() + "/IMG_0170.JPG"));
    expect_nothing_from("IMG_0170.JPG");
    EXPECT_FALSE(list_tree(primary()).empty()) << "earlier groups read back well are kept";
}

// A copy that reads back wrong is found only once its group is flushed, after later files
// were accepted; one at a time, the run would have ended at it, before the later JPEG.
TEST_P(VerifyPipeline, EarlierReadBackMismatchOutranksALaterCorruptJpeg)
{
    std::vector<std::string> files = folder_of(10, jpeg_text(64, 48));
    files[6] = backup_file("IMG_0006.JPG", "not a picture\n");
    record_card_hashes(files, files[1]);

    EXPECT_EQ(why(place(files)), differs(primary() + "/IMG_0001.CR2"));
    EXPECT_EQ(list_tree(primary()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Workers, VerifyPipeline, ::testing::Values("", "1"),
                         [](const auto& info) { return *info.param ? "one" : "all"; });

TEST(DecodeJpeg, AStopBetweenRowsEndsTheDecode)
{
    TempDir dir;
    write_file(dir / "a.JPG", jpeg_text(320, 240));
    const int fd = ::open((dir / "a.JPG").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::atomic<bool> stop{true};
    EXPECT_EQ(decode_jpeg(fd, &stop).outcome, JpegCheck::Outcome::stopped);
    stop = false;
    ::lseek(fd, 0, SEEK_SET);
    EXPECT_EQ(decode_jpeg(fd, &stop).outcome, JpegCheck::Outcome::passed);
    ::close(fd);
}

}  // namespace
}  // namespace oakvane::test
