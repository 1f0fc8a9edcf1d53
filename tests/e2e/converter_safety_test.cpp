// The outside converter is trusted with as little as possible: what it claims to have made
// is checked, what it wrote besides never stays, it dies with the engine, and a converter
// that is on but names no program fails before anything is copied.

#include "e2e_support.h"

#include <csignal>

namespace oakvane::e2e {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using test::list_tree;

class ConverterSafetyTest : public E2eTest {
protected:
    void make_raw_card()
    {
        for (int i = 1; i <= 3; ++i)
            add_raw("DCIM/100CANON/IMG_000" + std::to_string(i) + ".CR2", cardgen::kDayOne + i, 30 * 1024, i);
        card_done();
    }

    IngestArgs converter_args() const
    {
        IngestArgs a = args();
        a.converter = STANDIN_CONVERTER;
        a.fmt = "EEEE";
        a.switches = "D--";
        return a;
    }

    // Every file in the primary tree: a failed or finished run leaves no hidden one.
    void expect_no_hidden_entries() const
    {
        for (const auto& e : fs::recursive_directory_iterator(primary()))
            EXPECT_FALSE(e.path().filename().string().starts_with(".")) << e.path();
    }
};

TEST_F(ConverterSafetyTest, EmptyDngFailsTheRunAndNothingTheConverterWroteStays)
{
    make_raw_card();
    const ProcessResult r =
        run_copycard(converter_args(), {"STANDIN_CONVERTER_EMPTY=IMG_0002", "STANDIN_CONVERTER_EXTRA=stray.txt"});

    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(last_lines(output_lines(r.out), 3),
              (Lines{"", "ERROR:", "The converter made no DNG file from \"" +
                                       (backup() / "2006-06-12/IMG_0002.CR2").string() + "\""}));
    EXPECT_EQ(list_tree(primary()), Lines{});
    expect_no_hidden_entries();
    expect_card_unchanged();
}

TEST_F(ConverterSafetyTest, FilesTheConverterWroteBesidesItsDngsGoAfterASuccessToo)
{
    make_raw_card();
    const ProcessResult r = run_copycard(converter_args(), {"STANDIN_CONVERTER_EXTRA=stray.txt"});

    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(list_tree(primary()),
              (Lines{"2006-06-12/IMG_0001.dng", "2006-06-12/IMG_0002.dng", "2006-06-12/IMG_0003.dng"}));
    expect_no_hidden_entries();
}

// The verification scratch folder is the run's own: a folder of the user's with the old
// scratch name, and what is in it, stay.
TEST_F(ConverterSafetyTest, VerifyOnlyLeavesTheUsersFoldersAlone)
{
    make_raw_card();
    test::write_file(primary() / "2006-06-12/.temp_folder/keep.txt", "mine");
    IngestArgs a = converter_args();
    a.verify = "verifyOnly";

    const ProcessResult r = run_copycard(a);

    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(test::read_file(primary() / "2006-06-12/.temp_folder/keep.txt"), "mine");
}

TEST_F(ConverterSafetyTest, ConverterDiesWithTheEngine)
{
    make_raw_card();
    const fs::path child_file = tmp() / "helper.pid";
    test::Process run(converter_args().argv(),
                      copycard_env({"STANDIN_CONVERTER_DELAY_MS=3000",
                                    "STANDIN_CONVERTER_CHILD=" + child_file.string()}));
    ASSERT_TRUE(wait_for(run, [&] { return read_pid(child_file) > 0; }, 30s)) << "the converter never started";
    const pid_t helper = read_pid(child_file);
    const pid_t converter = parent_of(helper);
    ASSERT_GT(converter, 1);

    run.send_signal(SIGKILL);
    run.wait();
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        gone = process_gone(converter);
        std::this_thread::sleep_for(10ms);
    }
    ::kill(helper, SIGKILL);
    if (!gone)
        ::kill(converter, SIGKILL);
    EXPECT_TRUE(gone) << "the converter outlived the engine by a second";
    EXPECT_TRUE(files_with_extension(primary(), ".dng").empty());
}

// A converter may leave the end of a DNG to a process it started and exit 0 at once. The
// run waits for that process a while; one still writing after that is ended, and its DNG,
// cut short, fails the run instead of being placed.
TEST_F(ConverterSafetyTest, DngFinishedByAHelperAfterTheConverterExitsIsWaitedFor)
{
    make_raw_card();
    const ProcessResult r =
        run_copycard(converter_args(), {"STANDIN_CONVERTER_LATE=IMG_0002", "STANDIN_CONVERTER_LATE_MS=1000"});

    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    expect_only_complete_files(primary());
    EXPECT_EQ(files_with_extension(primary(), ".dng").size(), 3u);
}

TEST_F(ConverterSafetyTest, DngWhoseWriterOutlivesTheWaitFailsTheRun)
{
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "the helper let go of standard error" : "the helper holds standard error");
        fs::remove_all(tmp());
        fs::create_directories(tmp());
        make_raw_card();
        std::vector<std::string> env = {"STANDIN_CONVERTER_LATE=IMG_0002"};
        if (quiet)
            env.push_back("STANDIN_CONVERTER_LATE_QUIET=1");
        const auto r = run_copycard_within(converter_args(), env, 40s);
        ASSERT_TRUE(r) << "the run waited for the helper";

        EXPECT_EQ(r->exit_code, 1) << r->out << r->err;
        const Lines tail = last_lines(output_lines(r->out), 1);
        ASSERT_EQ(tail.size(), 1u);
        EXPECT_TRUE(tail[0].starts_with("The converter exited while a process it started was still writing \""))
            << tail[0];
        EXPECT_TRUE(tail[0].ends_with("/IMG_0002.dng\"")) << tail[0];
        EXPECT_TRUE(files_with_extension(primary(), ".dng").empty());
        expect_no_hidden_entries();
    }
}

TEST_F(ConverterSafetyTest, ConverterOnWithoutAProgramFailsBeforeCopying)
{
    make_raw_card();
    IngestArgs a = converter_args();
    a.converter = "";

    const ProcessResult r = run_copycard(a);

    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(output_lines(r.out), (Lines{"", "ERROR:", "Can't execute:  (error code = 2)"}));
    EXPECT_FALSE(fs::exists(backup()));
    EXPECT_FALSE(fs::exists(primary()));
}

}  // namespace
}  // namespace oakvane::e2e
