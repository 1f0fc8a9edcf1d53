// Ingestions that fail or are stopped. Whatever happens, nothing may be lost: the card is
// as it was, every file left in the backup or primary tree is whole, and nothing that
// was there before the run is replaced.

#include "e2e_support.h"

#include <csignal>
#include <fstream>
#include <regex>
#include <signal.h>
#include <thread>

namespace oakvane::e2e {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using test::list_tree;
using test::read_file;

constexpr std::time_t kDayOne = cardgen::kDayOne;
constexpr std::time_t kDayTwo = cardgen::kDayTwo;

class FailureTest : public E2eTest {
protected:
    IngestArgs flat_args() const
    {
        IngestArgs a = args();
        a.fmt = "EEEE";  // card names kept, so a test knows where each file lands
        return a;
    }

    // A failed run: status 1, and its output ending in "ERROR:" and the message.
    void expect_failure(const ProcessResult& r, const Lines& message) const
    {
        EXPECT_EQ(r.exit_code, 1) << r.err;
        EXPECT_EQ(last_lines(output_lines(r.out), message.size() + 2), error_tail(message)) << r.out;
    }

    void expect_nothing_lost() const
    {
        expect_card_unchanged();
        expect_only_complete_files(backup());
        expect_only_complete_files(primary());
    }

    std::string converter_log() const { return in_tmp("converter.log"); }
};

TEST_F(FailureTest, FullBackupDiskLeavesOnlyWholeFiles)
{
    TmpfsMount disk;
    std::string why;
    if (!disk.mount(tmp() / "disk", 2 << 20, why))
        GTEST_SKIP() << why;
    for (int i = 1; i <= 4; ++i)
        add_raw("DCIM/100CANON/IMG_000" + std::to_string(i) + ".CR2", kDayOne + i, 700 * 1024, i);
    card_done();
    IngestArgs a = flat_args();
    a.backup = (tmp() / "disk/backup").string();

    // The disk claims more room than it has, so the run meets the full disk while copying.
    const ProcessResult r = run_copycard(a, {std::string("LD_PRELOAD=") + STATVFS_ROOMY_SHIM});

    EXPECT_EQ(r.exit_code, 1) << r.err;
    const Lines lines = output_lines(r.out);
    ASSERT_GE(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[lines.size() - 2], "ERROR:");
    // The copy that met the full disk, and the system's reason.
    EXPECT_TRUE(lines.back().starts_with("write error: " + a.backup + "/IMG_000")) << lines.back();
    EXPECT_TRUE(lines.back().ends_with(".CR2: No space left on device")) << lines.back();
    const Lines left = list_tree(a.backup);
    EXPECT_LT(left.size(), 4u);
    expect_only_complete_files(a.backup);
    EXPECT_FALSE(fs::exists(primary()));
    expect_card_unchanged();
}

class CorruptJpegTest : public FailureTest {
protected:
    void make_card_with_second_jpeg(const std::string& second)
    {
        add_jpeg("DCIM/100CANON/IMG_0001.JPG", kDayOne, 1);
        add_bytes("DCIM/100CANON/IMG_0002.JPG", kDayOne + 4, second);
        add_jpeg("DCIM/100CANON/IMG_0003.JPG", kDayOne + 8, 3);
        card_done();
    }
};

TEST_F(CorruptJpegTest, TruncatedJpegIsReportedWithItsWarningCount)
{
    cardgen::JpegOptions options;
    options.width = 320;
    options.height = 240;
    const std::vector<unsigned char> whole = cardgen::make_jpeg(options);
    make_card_with_second_jpeg(std::string(whole.begin(), whole.begin() + whole.size() * 6 / 10));

    const ProcessResult r = run_copycard(flat_args());

    const std::string path = (primary() / "IMG_0002.JPG").string();
    expect_failure(r, {"Possibly corrupt JPEG: " + path});
    const Lines lines = output_lines(r.out);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_TRUE(std::regex_match(lines[lines.size() - 4], std::regex("JPEG Verification Warnings: [1-9][0-9]*")))
        << r.out;
    EXPECT_FALSE(fs::exists(primary() / "IMG_0003.JPG"));  // the run ends at the bad one
    expect_nothing_lost();
}

TEST_F(CorruptJpegTest, TextNamedJpgIsReportedWithoutWarningLine)
{
    make_card_with_second_jpeg("This is not a picture.\n");

    const ProcessResult r = run_copycard(flat_args());

    expect_failure(r, {"Possibly corrupt JPEG: " + (primary() / "IMG_0002.JPG").string()});
    const Lines lines = output_lines(r.out);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], "Skipping Adobe DNG Converter");
    expect_nothing_lost();
}

class ConverterFailureTest : public FailureTest {
protected:
    // Three raws on each day; with date folders the converter runs once per day.
    void make_raw_card()
    {
        for (int i = 1; i <= 6; ++i)
            add_raw("DCIM/100CANON/IMG_000" + std::to_string(i) + ".CR2", (i <= 3 ? kDayOne : kDayTwo) + i,
                    30 * 1024, i);
        card_done();
    }

    IngestArgs converter_args() const
    {
        IngestArgs a = flat_args();
        a.converter = STANDIN_CONVERTER;
        a.switches = "D--";
        return a;
    }
};

TEST_F(ConverterFailureTest, ConverterMessageFollowsErrorAndItsDngsAreGone)
{
    make_raw_card();

    const ProcessResult r = run_copycard(converter_args(), {"STANDIN_CONVERTER_FAIL=IMG_0005"});

    expect_failure(r, {"standin-converter: can't read " + (backup() / "2006-06-13/IMG_0005.CR2").string() +
                       ": simulated failure"});
    // The first day was converted whole; of the failed process nothing stays, not even
    // IMG_0004.dng, which it wrote before it failed.
    EXPECT_EQ(files_with_extension(primary(), ".dng"),
              (Lines{"2006-06-12/IMG_0001.dng", "2006-06-12/IMG_0002.dng", "2006-06-12/IMG_0003.dng"}));
    expect_nothing_lost();
}

TEST_F(ConverterFailureTest, ConverterThatCannotStartIsNamed)
{
    make_raw_card();
    IngestArgs a = converter_args();
    a.converter = in_tmp("no-such-converter");

    const ProcessResult r = run_copycard(a);

    expect_failure(r, {"Can't execute: " + a.converter + " (error code = 2)"});
    EXPECT_TRUE(files_with_extension(primary(), ".dng").empty());
    expect_nothing_lost();
}

// A converter that writes more to its standard error than a pipe holds must not hang the
// run; of what it wrote, the first 1024 bytes are shown.
TEST_F(ConverterFailureTest, NoisyConverterNeverBlocksTheRun)
{
    make_raw_card();

    const auto ok = run_copycard_within(converter_args(), {"STANDIN_CONVERTER_NOISE=300000"}, 20s);
    ASSERT_TRUE(ok) << "copycard hung on a converter writing 300000 bytes to standard error";
    EXPECT_EQ(ok->exit_code, 0) << ok->out << ok->err;

    const auto failed = run_copycard_within(
        [&] {
            IngestArgs a = converter_args();
            a.backup = in_tmp("backup2");
            a.primary = in_tmp("primary2");
            return a;
        }(),
        {"STANDIN_CONVERTER_NOISE=300000", "STANDIN_CONVERTER_FAIL=IMG_0001"}, 20s);
    ASSERT_TRUE(failed) << "copycard hung on a failing converter writing 300000 bytes";
    // The first 1024 bytes: 27 whole noise lines of 37 bytes and 25 bytes of the next; as
    // output lines every inner newline brings an empty line too.
    Lines message;
    for (int i = 0; i < 27; ++i) {
        message.push_back("0123456789abcdefghijklmnopqrstuvwxyz");
        message.push_back("");
    }
    message.push_back("0123456789abcdefghijklmno");
    expect_failure(*failed, message);
    EXPECT_TRUE(files_with_extension(in_tmp("primary2"), ".dng").empty());
    expect_only_complete_files(in_tmp("backup2"));
    expect_only_complete_files(in_tmp("primary2"));
    expect_nothing_lost();
}

TEST_F(FailureTest, StopDuringLargeCopyLeavesNoPartialFile)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", kDayOne);
    // A movie of 300 MB.
    add_sparse("DCIM/100CANON/MVI_0002.MOV", kDayOne + 4, 300u << 20);
    card_done();
    const fs::path copy = backup() / "MVI_0002.MOV";

    // The copy is made under a hidden staging name and takes its own only when whole.
    test::Process run(flat_args().argv(), copycard_env());
    ASSERT_TRUE(wait_for(
        run,
        [&] {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(backup(), ec))
                if (e.path().filename().string().starts_with(".oakvane-part-") &&
                    fs::file_size(e.path(), ec) > 0 && !ec)
                    return true;
            return false;
        },
        30s))
        << "the movie's copy never started";
    run.send_signal(SIGINT);
    const ProcessResult r = run.wait();

    EXPECT_EQ(r.exit_code, 130) << r.err;
    EXPECT_EQ(output_lines(r.out), (Lines{"Creating folders", "Copying files from card"}));
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(test::list_tree(backup()), Lines{});  // nor its staging file
    EXPECT_FALSE(fs::exists(primary()));
    expect_nothing_lost();
}

class StopConverterTest : public ConverterFailureTest, public ::testing::WithParamInterface<int> {};

// The converter and a helper it started are killed, not waited for: a converter would
// otherwise take another 12 s here, and its helper a minute.
TEST_P(StopConverterTest, ConverterAndItsHelperAreGoneAtOnce)
{
    make_raw_card();
    const fs::path child_file = tmp() / "helper.pid";

    test::Process run(converter_args().argv(),
                      copycard_env({"STANDIN_CONVERTER_DELAY_MS=2000",
                                    "STANDIN_CONVERTER_CHILD=" + child_file.string()}));
    ASSERT_TRUE(wait_for(run, [&] { return read_pid(child_file) > 0; }, 30s))
        << "the converter never started";
    const pid_t helper = read_pid(child_file);
    const pid_t converter = parent_of(helper);
    ASSERT_GT(converter, 1);
    ASSERT_FALSE(process_gone(converter));

    run.send_signal(GetParam());
    const auto signalled = std::chrono::steady_clock::now();
    const bool gone = wait_for(run, [&] { return process_gone(converter) && process_gone(helper); }, 1000ms);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - signalled);
    if (!process_gone(helper))
        ::kill(helper, SIGKILL);  // it holds copycard's standard output open
    const ProcessResult r = run.wait();

    EXPECT_TRUE(gone) << "converter or its helper still running " << waited.count() << " ms after the signal";
    EXPECT_EQ(r.exit_code, 130) << r.err;
    EXPECT_EQ(output_lines(r.out), (Lines{"Creating folders", "Copying files from card",
                                          "6 files copied from card took <time>",
                                          "Running Adobe DNG Converter"}));
    EXPECT_TRUE(files_with_extension(primary(), ".dng").empty());
    expect_nothing_lost();
}

INSTANTIATE_TEST_SUITE_P(Signals, StopConverterTest, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) { return info.param == SIGINT ? "Sigint" : "Sigterm"; });

TEST_F(FailureTest, NameTakenUpToTheNineHundredNinetyNinthSequenceNumber)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", kDayOne);
    card_done();
    std::vector<std::string> taken = {"IMG_0001.JPG"};
    for (int n = 1; n <= 999; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_0001_%03d.JPG", n);
        taken.push_back(name);
    }
    for (const std::string& name : taken)
        test::write_file(backup() / name, "older picture " + name);

    ProcessResult r = run_copycard(flat_args());

    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(output_lines(r.out), (Lines{"Creating folders", "Copying files from card", "", "ERROR:", "creat error"}));
    EXPECT_EQ(list_tree(backup()).size(), 1000u);
    for (const std::string& name : taken)
        ASSERT_EQ(read_file(backup() / name), "older picture " + name);
    EXPECT_FALSE(fs::exists(primary()));
    expect_card_unchanged();

    // With the last number free the copy takes it.
    fs::remove(backup() / "IMG_0001_999.JPG");
    r = run_copycard(flat_args());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    expect_copy_of(backup() / "IMG_0001_999.JPG", "DCIM/100CANON/IMG_0001.JPG");
    EXPECT_EQ(list_tree(primary()), Lines{"IMG_0001_999.JPG"});
    expect_copy_of(primary() / "IMG_0001_999.JPG", "DCIM/100CANON/IMG_0001.JPG");
    expect_card_unchanged();
}

TEST_F(FailureTest, ExistingPrimaryFileIsNeverReplaced)
{
    for (int i = 1; i <= 3; ++i)
        add_jpeg("DCIM/100CANON/IMG_000" + std::to_string(i) + ".JPG", kDayOne + i, i);
    card_done();
    const fs::path existing = primary() / "IMG_0002.JPG";
    test::write_file(existing, "a picture already in the library");
    set_mtime(existing, 1000000000);
    const std::size_t hash = hash_file(existing);

    const ProcessResult r = run_copycard(flat_args());

    expect_failure(r, {"Primary file already exists: \"" + existing.string() + "\""});
    EXPECT_EQ(hash_file(existing), hash);
    EXPECT_EQ(mtime_ns(existing), std::int64_t(1000000000) * 1000000000);
    EXPECT_EQ(list_tree(backup()), (Lines{"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"}));
    EXPECT_FALSE(fs::exists(primary() / "IMG_0003.JPG"));
    expect_card_unchanged();
    expect_only_complete_files(backup());
    expect_only_complete_files(primary(), {"IMG_0002.JPG"});
}

TEST_F(ConverterFailureTest, ExistingDngIsNeverReplaced)
{
    add_raw("DCIM/100CANON/IMG_0001.CR2", kDayOne, 10000, 1);
    add_raw("DCIM/100CANON/IMG_0002.CR2", kDayOne + 4, 10000, 2);
    add_jpeg("DCIM/100CANON/IMG_0003.JPG", kDayOne + 8);
    card_done();
    const fs::path existing = primary() / "IMG_0002.dng";
    test::write_file(existing, "a DNG already in the library");
    IngestArgs a = converter_args();
    a.switches = "---";

    const ProcessResult r = run_copycard(a, {"STANDIN_CONVERTER_LOG=" + converter_log()});

    expect_failure(r, {"DNG file already exists: \"" + existing.string() + "\""});
    EXPECT_EQ(read_file(existing), "a DNG already in the library");
    EXPECT_FALSE(fs::exists(converter_log())) << "the converter was started";
    EXPECT_EQ(list_tree(primary()), Lines{"IMG_0002.dng"});
    expect_card_unchanged();
    expect_only_complete_files(backup());
}

// Two cameras on one card, both numbering from 0001: their raws would give one DNG name.
TEST_F(ConverterFailureTest, TwoRawsGivingOneDngNameAreRefused)
{
    add_raw("DCIM/100CANON/IMG_0001.CR2", kDayOne, 10000, 1);
    add_raw("DCIM/101NIKON/IMG_0001.NEF", kDayOne + 4, 12000, 2);
    card_done();
    IngestArgs a = converter_args();
    a.switches = "---";

    const ProcessResult r = run_copycard(a, {"STANDIN_CONVERTER_LOG=" + converter_log()});

    expect_failure(r, {"Two files of one folder would get the same name: \"" +
                       (primary() / "IMG_0001.dng").string() + "\""});
    EXPECT_FALSE(fs::exists(converter_log())) << "the converter was started";
    EXPECT_TRUE(files_with_extension(primary(), ".dng").empty());
    EXPECT_EQ(list_tree(backup()), (Lines{"IMG_0001.CR2", "IMG_0001.NEF"}));
    expect_nothing_lost();
}

}  // namespace
}  // namespace oakvane::e2e
