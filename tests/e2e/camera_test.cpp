// A camera read through libgphoto2 ingests as its card would: its "Directory Browse" driver
// reads a generated card on a disk: port, so the whole libgphoto2 path runs without a camera.
// A shim in the drivers' hand-over of a file's bytes plays the camera that goes away, the
// driver that hides a failed read, and the file that streams for a long time.

#include "e2e_support.h"

#include <csignal>

namespace oakvane::e2e {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using test::list_tree;

constexpr std::time_t kDayOne = cardgen::kDayOne;  // 12:00 UTC

// Thirteen hours east of UTC, day one's midday is already the next day: a camera time read
// as anything but local time lands in the wrong date folder.
constexpr char kZone[] = "TZ=OVT-13";

class CameraTest : public E2eTest {
protected:
    std::string camera() const { return "camera:disk:" + card_root().string(); }

    IngestArgs camera_args() const
    {
        IngestArgs a = args();
        a.card = camera();
        return a;
    }

    ProcessResult run_in_zone(const IngestArgs& a, std::vector<std::string> env = {}) const
    {
        env.insert(env.begin(), kZone);
        return test::run_process(a.argv(), env);
    }

    // Four raws of 1 MB, read in name order by the camera driver.
    void four_raws()
    {
        for (int i = 1; i <= 4; ++i)
            add_raw("DCIM/100CANON/IMG_000" + std::to_string(i) + ".CR2", kDayOne + i, 1u << 20, i);
        card_done();
    }

    std::string camera_file(const std::string& rel) const { return camera() + "/" + rel; }

    // A run that ended at a camera file: nothing in the primary tree, nothing half-written or
    // under a final name that is not whole, the card as it was.
    void expect_failed_safely(const ProcessResult& r)
    {
        EXPECT_EQ(r.exit_code, 1) << r.err;
        EXPECT_EQ(r.out.find("SUCCESSFUL"), std::string::npos) << r.out;
        EXPECT_FALSE(fs::exists(primary()) && !list_tree(primary()).empty());
        expect_only_complete_files(backup());
        expect_card_unchanged();
    }
};

Lines without_histories(const Lines& tree)
{
    Lines kept;
    for (const std::string& rel : tree)
        if (!rel.starts_with("ascmhl/"))
            kept.push_back(rel);
    return kept;
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST_F(CameraTest, ReadsTheSameTreesAsTheCardFolder)
{
    make_card(cardgen::preset("demo"));
    IngestArgs as_folder = args();
    as_folder.backup = in_tmp("folder-backup");
    as_folder.primary = in_tmp("folder-primary");
    as_folder.switches = "D--";
    IngestArgs as_camera = camera_args();
    as_camera.switches = "D--";

    const ProcessResult folder_run = run_in_zone(as_folder);
    const ProcessResult camera_run = run_in_zone(as_camera);

    ASSERT_EQ(folder_run.exit_code, 0) << folder_run.out << folder_run.err;
    ASSERT_EQ(camera_run.exit_code, 0) << camera_run.out << camera_run.err;
    // The same report and lines, but for the trees' own roots.
    std::string folder_out = replaced(folder_run.out, as_folder.backup, "<backup>");
    folder_out = replaced(folder_out, as_folder.primary, "<primary>");
    std::string camera_out = replaced(camera_run.out, as_camera.backup, "<backup>");
    camera_out = replaced(camera_out, as_camera.primary, "<primary>");
    EXPECT_EQ(output_lines(camera_out), output_lines(folder_out));
    const std::pair<fs::path, fs::path> trees[] = {{as_folder.backup, backup()}, {as_folder.primary, primary()}};
    for (const auto& [from_folder, from_camera] : trees) {
        SCOPED_TRACE(from_camera.string());
        const Lines names = without_histories(list_tree(from_camera));
        ASSERT_EQ(names, without_histories(list_tree(from_folder)));
        for (const std::string& rel : names) {
            EXPECT_EQ(hash_file(from_camera / rel), hash_file(from_folder / rel)) << rel;
            EXPECT_EQ(mtime_ns(from_camera / rel), mtime_ns(from_folder / rel)) << rel;
        }
    }
    // Midday UTC of day one, in local time.
    EXPECT_TRUE(fs::exists(primary() / "2006-06-13/IMG_20060613_0001.JPG"));
    expect_only_complete_files(backup());
    expect_card_unchanged();
}

TEST_F(CameraTest, ACameraGoneMidFileFailsTheRunAtThatFile)
{
    four_raws();

    const ProcessResult r = run_in_zone(
        camera_args(), {std::string("LD_PRELOAD=") + GPHOTO2_FAULT_SHIM, "GPHOTO2_FAULT_AFTER=1500000"});

    expect_failed_safely(r);
    const Lines lines = output_lines(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back().starts_with("Camera read error: \"" + camera_file("DCIM/100CANON/IMG_0002.CR2") +
                                         "\" ("))
        << lines.back();
    EXPECT_FALSE(fs::exists(backup() / "IMG_0002.CR2"));
}

// The driver says all went well though it handed over only part of the file.
TEST_F(CameraTest, AFileThatArrivesShortFailsThoughTheDriverSaysItWasRead)
{
    four_raws();

    const ProcessResult r = run_in_zone(camera_args(), {std::string("LD_PRELOAD=") + GPHOTO2_FAULT_SHIM,
                                                        "GPHOTO2_FAULT_AFTER=1500000", "GPHOTO2_FAULT_SHORT=1"});

    expect_failed_safely(r);
    const Lines lines = output_lines(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Camera read error: \"" + camera_file("DCIM/100CANON/IMG_0002.CR2") +
                                "\" gave 393216 bytes of 1048576");
}

TEST_F(CameraTest, StopEndsTheRunWhileAFileStreams)
{
    add_raw("DCIM/100CANON/IMG_0001.CR2", kDayOne, 4u << 20, 1);
    card_done();
    // 64 chunks of 64 KiB at 100 ms each: the file takes six seconds to stream.
    test::Process run(camera_args().argv(),
                      {kZone, std::string("LD_PRELOAD=") + GPHOTO2_FAULT_SHIM, "GPHOTO2_SLOW_MS=100"});
    ASSERT_TRUE(wait_for(
        run,
        [&] {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(backup(), ec))
                if (e.path().filename().string().starts_with(".oakvane-part-") && fs::file_size(e.path(), ec) > 0 &&
                    !ec)
                    return true;
            return false;
        },
        30s))
        << "the file never started streaming";

    run.send_signal(SIGINT);
    const auto signalled = std::chrono::steady_clock::now();
    const bool ended = wait_for(run, [&] { return has_exited(run.pid()); }, 1500ms);
    const ProcessResult r = run.wait();

    EXPECT_TRUE(ended) << "still reading the camera 1.5 s after Stop";
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 3s);
    EXPECT_EQ(r.exit_code, 130) << r.err;
    EXPECT_EQ(output_lines(r.out), (Lines{"Creating folders", "Copying files from card"}));
    EXPECT_EQ(list_tree(backup()), Lines{});
    expect_card_unchanged();
}

TEST_F(CameraTest, ACameraWithoutADcimFolderIsNoEmptyCard)
{
    fs::remove(card_folder());
    add_raw("MISC/IMG_0001.CR2", kDayOne, 1000, 1);
    card_done();

    const ProcessResult r = run_in_zone(camera_args());

    EXPECT_EQ(r.exit_code, 1);
    const Lines lines = output_lines(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "The camera Directory Browse at disk:" + card_root().string() +
                                " shows no DCIM folder: no photos to ingest");
    EXPECT_FALSE(fs::exists(backup()));
}

}  // namespace
}  // namespace oakvane::e2e
