// copycard on a terminal: standard output holds the output list's lines only, standard
// error the progress bar; the engine's diagnostics appear only in a verbose run, and
// still go to standard error when that is a log.

#include "e2e_support.h"
#include "mounts.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace oakvane::e2e {
namespace {

struct TerminalRun {
    int status = -1;
    std::string out;
    std::string terminal;
};

// Runs argv with standard error on a pseudo-terminal of columns columns and standard output
// on a pipe.
TerminalRun run_on_terminal(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                            unsigned short columns = 80)
{
    TerminalRun run;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return run;
    const winsize size{24, columns, 0, 0};
    ::ioctl(master, TIOCSWINSZ, &size);
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    int out[2];
    if (slave < 0 || ::pipe2(out, O_CLOEXEC) != 0)
        return run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(slave, STDERR_FILENO);
        for (const std::string& entry : env)
            ::putenv(const_cast<char*>(entry.c_str()));
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(slave);
    ::close(out[1]);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {master, POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.terminal};
    int open_fds = 2;
    while (open_fds > 0 && ::poll(fds, 2, 30000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, std::size_t(n));
            } else {  // end of file, or EIO once the terminal has no writer left
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class TerminalTest : public E2eTest {
protected:
    void SetUp() override
    {
        add_jpeg("DCIM/100CANON/IMG_0001.JPG", cardgen::kDayOne);
        add_raw("DCIM/100CANON/IMG_0002.CR2", cardgen::kDayOne + 1, 4096, 2);
        card_done();
        // A converter that talks on its standard output, as real ones do.
        const std::string script = in_tmp("talking-converter");
        std::ofstream(script) << "#!/bin/sh\necho converter-stdout\nexec " << STANDIN_CONVERTER << " \"$@\"\n";
        fs::permissions(script, fs::perms::owner_all);
        m_args = args();
        m_args.converter = script;
    }
    IngestArgs m_args;
};

TEST_F(TerminalTest, TerminalShowsTheBarAndVerboseRunsTheDiagnostics)
{
    const TerminalRun quiet = run_on_terminal(m_args.argv(), copycard_env());
    EXPECT_EQ(quiet.status, 0) << quiet.out << quiet.terminal;
    EXPECT_EQ(quiet.out.find("converter-stdout"), std::string::npos) << quiet.out;
    EXPECT_EQ(output_lines(quiet.out).back(), "Next starting number: 3");
    EXPECT_NE(quiet.terminal.find("elapsed "), std::string::npos) << quiet.terminal;
    EXPECT_EQ(quiet.terminal.find("Primary folder "), std::string::npos) << quiet.terminal;

    IngestArgs again = m_args;
    again.backup = in_tmp("backup2");
    again.primary = in_tmp("primary2");
    const TerminalRun verbose = run_on_terminal(again.argv(), copycard_env({"OAKVANE_VERBOSE=1"}));
    EXPECT_EQ(verbose.status, 0) << verbose.out << verbose.terminal;
    EXPECT_NE(verbose.terminal.find("Primary folder "), std::string::npos) << verbose.terminal;

    // Standard error that is a log keeps the diagnostics without being asked.
    again.backup = in_tmp("backup3");
    again.primary = in_tmp("primary3");
    const ProcessResult logged = run_copycard(again);
    EXPECT_EQ(logged.exit_code, 0) << logged.err;
    EXPECT_NE(logged.err.find("Primary folder "), std::string::npos) << logged.err;
    EXPECT_EQ(logged.out.find("converter-stdout"), std::string::npos) << logged.out;
}

// A redraw wider than the terminal would wrap and leave a line behind each time; the bar
// counts the card's files as the run's report does (the engine's range has one step more).
TEST_F(TerminalTest, BarFitsANarrowTerminalAndCountsTheFiles)
{
    const TerminalRun run = run_on_terminal(m_args.argv(), copycard_env(), 50);
    ASSERT_EQ(run.status, 0) << run.out << run.terminal;
    std::vector<std::string> draws;
    std::string draw;
    for (const char c : run.terminal) {
        if (c == '\r' || c == '\n') {
            if (!draw.empty())
                draws.push_back(draw);
            draw.clear();
        } else {
            draw += c;
        }
    }
    ASSERT_FALSE(draws.empty()) << run.terminal;
    bool counted_all = false;
    bool counted_dngs = false;  // the converter's phase has a bar of its own
    for (std::string& shown : draws) {
        if (shown.starts_with("\033[K"))
            shown.erase(0, 3);
        EXPECT_LE(shown.size(), 49u) << shown;
        EXPECT_EQ(shown.find("/3 "), std::string::npos) << shown;
        counted_all = counted_all || shown.find("] 2/2 ") != std::string::npos;
        counted_dngs = counted_dngs || shown.find("] 1/1 DNGs ") != std::string::npos;
    }
    EXPECT_TRUE(counted_all) << run.terminal;
    EXPECT_TRUE(counted_dngs) << run.terminal;
}

// Under the progress bar a failure still says what failed, where and why: the cause is part
// of the ERROR line, not of the diagnostics the bar hides.
TEST_F(TerminalTest, FailuresShowTheirCauseUnderTheBar)
{
    IngestArgs missing = m_args;
    missing.card = in_tmp("card/NOSUCH");
    const TerminalRun no_card = run_on_terminal(missing.argv(), copycard_env());
    EXPECT_EQ(no_card.status, 1) << no_card.out << no_card.terminal;
    EXPECT_EQ(last_lines(output_lines(no_card.out), 2),
              (std::vector<std::string>{"ERROR:", "ftw failed: " + missing.card + ": No such file or directory"}))
        << no_card.out;

    const std::string ro = in_tmp("ro");
    fs::create_directories(ro);
    if (const std::string why = test::mount_refusal(ro); !why.empty())
        GTEST_SKIP() << why;
    test::Mount mount({"-t", "tmpfs", "-o", "ro", "tmpfs"}, ro);
    if (!mount.ok())
        GTEST_SKIP() << mount.error();
    // A tree on a read-only disk is refused before the first write, as a missing card is.
    IngestArgs read_only = m_args;
    read_only.backup = ro;
    read_only.switches = "D--";
    const TerminalRun refused = run_on_terminal(read_only.argv(), copycard_env());
    EXPECT_EQ(refused.status, 1) << refused.out << refused.terminal;
    EXPECT_EQ(last_lines(output_lines(refused.out), 2),
              (std::vector<std::string>{"ERROR:", "can't make image folder path: " + ro + "/2006-06-12: Read-only file system"}))
        << refused.out;
}

}  // namespace
}  // namespace oakvane::e2e
