#include "converter.h"

#include "process.h"
#include "recording_host.h"
#include "run.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace oakvane::test {
namespace {

const std::string kConverter = STANDIN_CONVERTER;
using Strings = std::vector<std::string>;

// Sets a variable for the converters a test starts, and removes it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name)
    {
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { unsetenv(m_name); }

private:
    const char* m_name;
};

Strings split(const std::string& text, char sep)
{
    Strings parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(sep, start)) != std::string::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    if (start < text.size())
        parts.push_back(text.substr(start));
    return parts;
}

// A zombie counts as gone: whoever inherits an orphan may be slow to reap it.
bool process_gone(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    const auto paren = line.rfind(')');
    return paren + 2 < line.size() && (line[paren + 2] == 'Z' || line[paren + 2] == 'X');
}

bool gone_within(pid_t pid, std::chrono::milliseconds limit)
{
    for (const auto end = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms))
        if (process_gone(pid))
            return true;
    return process_gone(pid);
}

pid_t read_pid(const std::string& path)
{
    std::ifstream in(path);
    pid_t pid = 0;
    in >> pid;
    return pid;
}

bool has_no_children()
{
    return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

std::size_t open_descriptor_count()
{
    return std::size_t(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

class ConverterTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(out()); }

    std::string out() const { return dir / "out"; }

    Strings fixed(bool embed) const
    {
        Strings f{kConverter, "-p1"};
        if (embed)
            f.push_back("-e");
        f.insert(f.end(), {"-d", out()});
        return f;
    }

    // Raw files "IMG_0001.CR2" ... with contents "raw 1" ...
    Strings make_raws(int count) const
    {
        Strings files;
        for (int i = 1; i <= count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "IMG_%04d.CR2", i);
            files.push_back(dir / name);
            write_file(files.back(), "raw " + std::to_string(i));
        }
        return files;
    }

    Status run(const Strings& files, bool embed = false)
    {
        Strings argv = fixed(embed);
        argv.insert(argv.end(), files.begin(), files.end());
        return run_converter(step.run, kConverter, argv, argv.size() - files.size(), &done);
    }

    Status execute(const std::string& program, const Strings& argv, std::string* said = nullptr)
    {
        return execute_converter(step.run, program, argv, said);
    }

    // Why a step failed; "" when it did not.
    static std::string why(const Status& status) { return status ? "" : status.failure().message; }

    // What each converter process said, in order, as the run's diagnostics give it: the
    // line after the one with its exit status.
    Strings converter_said() const
    {
        Strings said;
        const Strings& lines = host.diagnostics;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i)
            if (lines[i].starts_with("status = "))
                said.push_back(lines[i + 1]);
        return said;
    }

    std::vector<Strings> logged_runs() const
    {
        std::vector<Strings> runs;
        if (fs::exists(log_path))
            for (const auto& line : split(read_file(log_path), '\n'))
                runs.push_back(split(line, '\t'));
        return runs;
    }

    TempDir dir;
    StepRun step;
    RecordingHost& host = step.host;
    std::string log_path = dir / "log";
    ScopedEnv log{"STANDIN_CONVERTER_LOG", log_path};
    std::size_t done = 99;
};

Strings concat(Strings a, const Strings& files, std::size_t first, std::size_t last)
{
    a.insert(a.end(), files.begin() + std::ptrdiff_t(first), files.begin() + std::ptrdiff_t(last));
    return a;
}

TEST(ConverterCommandLine, QuotesEveryEntryAndEndsWithABlank)
{
    EXPECT_EQ(converter_command_line({"/opt/dng conv", "-p1", "-d", "/a b/out", "/c/IMG 1.NEF"}),
              "\"/opt/dng conv\" \"-p1\" \"-d\" \"/a b/out\" \"/c/IMG 1.NEF\" ");
    EXPECT_EQ(converter_command_line({}), "");
}

using ConverterBatchTest = ConverterTest;

TEST_F(ConverterBatchTest, RunsGroupsOfAtMostFiftyFilesInOrder)
{
    const std::vector<std::pair<int, std::vector<std::size_t>>> cases = {
        {100, {50, 50}}, {70, {50, 20}}, {50, {50}}, {1, {1}}};
    for (const auto& [count, sizes] : cases) {
        SCOPED_TRACE(count);
        fs::remove(log_path);
        const Strings files = make_raws(count);
        host.diagnostics.clear();
        const Status ran = run(files);
        EXPECT_TRUE(ran) << why(ran);
        EXPECT_EQ(converter_said(), Strings(sizes.size(), ""));
        EXPECT_EQ(done, std::size_t(count));
        const auto runs = logged_runs();
        ASSERT_EQ(runs.size(), sizes.size());
        const Strings& traced = host.diagnostics;
        for (std::size_t r = 0, first = 0; r < runs.size(); first += sizes[r++]) {
            const Strings expected = concat(fixed(false), files, first, first + sizes[r]);
            EXPECT_EQ(runs[r], expected);
            EXPECT_NE(std::find(traced.begin(), traced.end(), converter_command_line(expected)), traced.end());
        }
        EXPECT_EQ(read_file(out() + "/IMG_" + (count == 1 ? "0001" : "0050") + ".dng"),
                  "STANDIN-DNG\npreview -p1\nraw " + std::to_string(count == 1 ? 1 : 50));
    }
}

TEST_F(ConverterBatchTest, FailureEndsTheRunBeforeLaterGroups)
{
    const Strings files = make_raws(100);
    for (const auto& [failing, processes, completed] :
         {std::tuple{"IMG_0010", 1u, 0u}, std::tuple{"IMG_0060", 2u, 50u}}) {
        SCOPED_TRACE(failing);
        fs::remove(log_path);
        ScopedEnv fail{"STANDIN_CONVERTER_FAIL", failing};
        EXPECT_EQ(why(run(files)), "standin-converter: can't read " + dir / failing +
                                       ".CR2: simulated failure\n");
        EXPECT_EQ(logged_runs().size(), processes);
        EXPECT_EQ(done, completed);
    }
}

TEST_F(ConverterBatchTest, NoFilesStartsNoProcess)
{
    EXPECT_TRUE(run({}));
    EXPECT_FALSE(fs::exists(log_path));
    EXPECT_EQ(host.diagnostics, Strings{});  // no command line, nothing said
    EXPECT_EQ(done, 0u);
}

TEST_F(ConverterBatchTest, FixedPartReachesTheConverterUnchanged)
{
    for (bool embed : {false, true}) {
        SCOPED_TRACE(embed);
        fs::remove(log_path);
        const Strings files = make_raws(2);
        EXPECT_TRUE(run(files, embed));
        ASSERT_EQ(logged_runs().size(), 1u);
        EXPECT_EQ(logged_runs()[0], concat(fixed(embed), files, 0, 2));
        EXPECT_EQ(read_file(out() + "/IMG_0002.dng"),
                  std::string("STANDIN-DNG\npreview -p1\n") + (embed ? "embedded\n" : "") + "raw 2");
    }
}

using ConverterProcessTest = ConverterTest;

TEST_F(ConverterProcessTest, MissingProgramCannotBeExecuted)
{
    const std::string missing = dir / "no-such-converter";
    EXPECT_EQ(why(execute(missing, {missing, "-p0"})), "Can't execute: " + missing + " (error code = 2)");
    EXPECT_EQ(why(execute(missing, {missing})), "Can't execute: " + missing + " (error code = 2)");
}

TEST_F(ConverterProcessTest, LargeErrorOutputIsDrainedAndOnlyItsStartKept)
{
    ScopedEnv noise{"STANDIN_CONVERTER_NOISE", "1000000"};
    const std::string pattern = "0123456789abcdefghijklmnopqrstuvwxyz\n";
    std::string expected;
    while (expected.size() < 1024)
        expected += pattern[expected.size() % pattern.size()];
    const Strings files = make_raws(1);
    EXPECT_TRUE(run(files));
    EXPECT_EQ(converter_said(), Strings{expected});

    Strings argv = fixed(false);
    argv.push_back(files[0]);
    std::string said = "previous";
    EXPECT_TRUE(execute(kConverter, argv, &said));
    EXPECT_EQ(said, expected);
}

TEST_F(ConverterProcessTest, NonZeroExitOrSignalIsAFailure)
{
    EXPECT_EQ(why(execute("/bin/sh", {"sh", "-c", "echo bad >&2; exit 3"})), "bad\n");
    EXPECT_EQ(why(execute("/bin/sh", {"sh", "-c", "kill -KILL $$"})), "Converter ended by signal 9");
}

// A helper that holds the pipe but writes no DNG gets a short wait and is then ended with
// the converter's group; the DNGs it did not touch stand.
TEST_F(ConverterProcessTest, HelperKeepingThePipeOpenIsEndedAfterAShortWait)
{
    const std::string pid_file = dir / "helper.pid";
    ScopedEnv child{"STANDIN_CONVERTER_CHILD", pid_file};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(run(make_raws(1)));
    // The helper sleeps 60 s; waiting for its end of the pipe would take that long.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    const pid_t helper = read_pid(pid_file);
    ASSERT_GT(helper, 0);
    EXPECT_TRUE(gone_within(helper, 1000ms));
    kill(helper, SIGKILL);
}

TEST_F(ConverterProcessTest, ChildGetsOnlyTheStandardDescriptors)
{
    const int inheritable = open("/dev/null", O_RDONLY);
    ASSERT_GE(inheritable, 3);
    const std::string script = "[ ! -e /proc/self/fd/" + std::to_string(inheritable) +
                               " ] || { echo leaked >&2; exit 1; }";
    const Status ran = execute("/bin/sh", {"sh", "-c", script});
    EXPECT_TRUE(ran) << why(ran);
    close(inheritable);
}

TEST_F(ConverterProcessTest, LeavesNoDescriptorOrChildBehind)
{
    const std::size_t before = open_descriptor_count();
    const Strings files = make_raws(2);
    EXPECT_TRUE(run(files));
    {
        ScopedEnv fail{"STANDIN_CONVERTER_FAIL", "IMG_0002"};
        EXPECT_FALSE(run(files));
    }
    EXPECT_FALSE(execute(dir / "missing", {"missing"}));
    host.on_stop_poll = [](RecordingHost& h) { h.stop = 1; };
    EXPECT_EQ(why(run(files)), "Stopped");
    EXPECT_EQ(open_descriptor_count(), before);
    EXPECT_TRUE(has_no_children());
}

using ConverterStopTest = ConverterTest;

TEST_F(ConverterStopTest, StopKillsTheConverterAndItsHelpers)
{
    const std::string pid_file = dir / "helper.pid";
    ScopedEnv child{"STANDIN_CONVERTER_CHILD", pid_file};
    ScopedEnv delay{"STANDIN_CONVERTER_DELAY_MS", "60000"};
    std::chrono::steady_clock::time_point stopped_at;
    host.on_stop_poll = [&](RecordingHost& h) {
        if (!h.stop && fs::exists(pid_file)) {
            h.stop = 1;
            stopped_at = std::chrono::steady_clock::now();
        }
    };
    EXPECT_EQ(why(run(make_raws(70))), "Stopped");
    EXPECT_LT(std::chrono::steady_clock::now() - stopped_at, 2s);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(logged_runs().size(), 1u);
    const pid_t helper = read_pid(pid_file);
    ASSERT_GT(helper, 0);
    EXPECT_TRUE(gone_within(helper, 2s));
    EXPECT_TRUE(has_no_children());
}

// The wait for a converter's helpers after it exited is a wait like any other: Stop ends it.
TEST_F(ConverterStopTest, StopEndsTheWaitForHelpersAfterTheConverterExited)
{
    const std::string pid_file = dir / "helper.pid";
    ScopedEnv child{"STANDIN_CONVERTER_CHILD", pid_file};
    const Strings files = make_raws(1);
    const std::string dng = out() + "/IMG_0001.dng";
    std::chrono::steady_clock::time_point stopped_at;
    host.on_stop_poll = [&](RecordingHost& h) {
        if (!h.stop && fs::exists(dng)) {
            h.stop = 1;
            stopped_at = std::chrono::steady_clock::now();
        }
    };
    EXPECT_EQ(why(run(files)), "Stopped");
    EXPECT_LT(std::chrono::steady_clock::now() - stopped_at, 2s);
    const pid_t helper = read_pid(pid_file);
    ASSERT_GT(helper, 0);
    EXPECT_TRUE(gone_within(helper, 2s));
}

TEST_F(ConverterStopTest, ProgressTicksWhileTheConverterRuns)
{
    ScopedEnv delay{"STANDIN_CONVERTER_DELAY_MS", "800"};
    EXPECT_TRUE(run(make_raws(1)));
    EXPECT_GE(host.ticks, 2);
    EXPECT_GE(host.stop_polls, host.ticks);
}

class StandInConverterTest : public ::testing::Test {
protected:
    std::string raw(const std::string& name, const std::string& content)
    {
        write_file(dir / name, content);
        return dir / name;
    }
    std::string out() const { return dir / "out"; }
    void SetUp() override { fs::create_directory(out()); }

    TempDir dir;
};

TEST_F(StandInConverterTest, WritesOneDngPerRawFileNamedAfterItsBaseName)
{
    const auto result = run_process({kConverter, "-p2", "-e", "-d", out(),
                                     raw("IMG_0001.CR2", "one"), raw("two.tar.NEF", "two")});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(list_tree(out()), (Strings{"IMG_0001.dng", "two.tar.dng"}));
    EXPECT_EQ(read_file(out() + "/IMG_0001.dng"), "STANDIN-DNG\npreview -p2\nembedded\none");
    EXPECT_EQ(run_process({kConverter, "-d", out(), "-p0", raw("x.NEF", "x")}).exit_code, 0);
    EXPECT_EQ(read_file(out() + "/x.dng"), "STANDIN-DNG\npreview -p0\nx");
}

TEST_F(StandInConverterTest, UnreadableFileFailsAfterTheFilesBeforeIt)
{
    const Strings argv = {kConverter, "-p1",        "-d", out(), raw("a.CR2", "a"),
                          dir / "missing.CR2", raw("c.CR2", "c")};
    auto result = run_process(argv);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("missing.CR2"), std::string::npos) << result.err;
    EXPECT_EQ(list_tree(out()), Strings{"a.dng"});

    result = run_process(argv, {"STANDIN_CONVERTER_FAIL=zzz,a.CR"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("a.CR2"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace oakvane::test
