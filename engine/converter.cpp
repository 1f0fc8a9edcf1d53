#include "converter.h"

#include "fs_util.h"
#include "process_group.h"
#include "run.h"
#include "text_format.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace oakvane {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollStep = std::chrono::milliseconds(250);
// How long helpers of a converter that has exited may keep its standard error open: a
// helper finishing a DNG gets that long, one that merely lingers can't hold up the run.
constexpr auto kHelperGrace = std::chrono::seconds(5);
constexpr std::size_t kKeptErrorBytes = 1024;

struct ErrorPipe {
    UniqueFd read_end;
    UniqueFd write_end;
};

// Only our end is non-blocking: the converter must see an ordinary standard error.
Status make_error_pipe(ErrorPipe& pipe)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return fail("execute_converter: pipe failed", "", errno);
    pipe.read_end.reset(fds[0]);
    pipe.write_end.reset(fds[1]);
    const int flags = fcntl(fds[0], F_GETFL);
    if (flags < 0 || fcntl(fds[0], F_SETFL, flags | O_NONBLOCK) != 0)
        return fail("execute_converter: fcntl failed", "", errno);
    return {};
}

// Tells the parent why the child could not become the converter, and ends it.
[[noreturn]] void child_failed(int report_fd, int err)
{
    ssize_t ignored = write(report_fd, &err, sizeof err);
    (void)ignored;
    _exit(127);
}

// Everything the child does between fork and exec: only async-signal-safe calls, since
// the desktop application forks from a process with other threads.
[[noreturn]] void exec_child(const char* program, char* const argv[], int stderr_fd,
                             int report_fd, pid_t parent)
{
    // Own process group, so a stop can kill the helpers the converter starts.
    setpgid(0, 0);
    // The converter dies with the engine, even by kill -9, instead of writing on into the
    // primary tree. (The signal follows the thread that forks, which waits for the child
    // anyway.) A parent gone before this call is caught by the getppid check.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
        child_failed(report_fd, errno);
    if (getppid() != parent)
        child_failed(report_fd, ESRCH);
    // The signal mask and SIGPIPE are reset because a GUI thread may have either changed.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    // Its standard output joins its standard error: the engine's standard output belongs
    // to the output list.
    if (dup2(stderr_fd, STDOUT_FILENO) < 0 || dup2(stderr_fd, STDERR_FILENO) < 0)
        child_failed(report_fd, errno);
    const int keep = report_fd > STDERR_FILENO ? report_fd : STDERR_FILENO + 1;
    if (keep > STDERR_FILENO + 1)
        close_range(STDERR_FILENO + 1, static_cast<unsigned>(keep - 1), 0);
    close_range(static_cast<unsigned>(keep + 1), ~0U, 0);
    execve(program, argv, environ);
    child_failed(report_fd, errno);
}

// Starts program with its standard output and error on stderr_fd. Returns 0 with pid
// set, or the error number of the step that failed (exec's own when the program could
// not be started).
int spawn_child(const std::string& program, std::vector<char*>& argv, int stderr_fd, pid_t& pid)
{
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return errno;
    UniqueFd report_read(report[0]);
    UniqueFd report_write(report[1]);
    const pid_t parent = getpid();
    pid = fork();
    if (pid < 0)
        return errno;
    if (pid == 0)
        exec_child(program.c_str(), argv.data(), stderr_fd, report_write.get(), parent);
    report_write.reset();
    int err = 0;
    ssize_t n;
    do {
        n = ::read(report_read.get(), &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(sizeof err))
        return 0;  // exec closed the pipe: the converter runs
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
    return err;
}

// Owns a started child until it has been reaped; on an early exit the whole group dies.
// The child is reaped only once its group has been ended: until then, as a zombie, it keeps
// its pid, and so the group's id, from being given to anyone else.
class Child {
public:
    explicit Child(pid_t pid) : m_pid(pid) {}
    ~Child()
    {
        if (m_pid > 0) {
            kill_group();
            int status;
            reap(status);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return m_pid; }

    // True once the child has ended (left unreaped). On a wait error err receives errno
    // and the child counts as ended.
    bool exited(int& err);
    // 0, or errno when neither the group nor the child could be signalled.
    int kill_group();
    // Blocks until the child has ended; returns 0 or errno.
    int reap(int& status);

private:
    pid_t m_pid;
};

bool Child::exited(int& err)
{
    siginfo_t info{};
    int rc;
    do {
        rc = waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOHANG | WNOWAIT);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        err = errno;
        return true;
    }
    return info.si_pid != 0;
}

int Child::kill_group()
{
    // If the converter left its group, the group may be empty: kill the child itself.
    if (kill(-m_pid, SIGKILL) != 0 && kill(m_pid, SIGKILL) != 0)
        return errno;
    return 0;
}

int Child::reap(int& status)
{
    pid_t rc;
    do {
        rc = waitpid(m_pid, &status, 0);
    } while (rc < 0 && errno == EINTR);
    m_pid = -1;
    return rc < 0 ? errno : 0;
}

// The converter's standard error: all of it is read so that it never blocks on a full pipe,
// only the first 1024 bytes are kept.
struct ErrorText {
    std::string kept;
    std::size_t total = 0;
    bool open = true;
    int read_error = 0;

    void drain(int fd);
};

void ErrorText::drain(int fd)
{
    char chunk[4096];
    while (open) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            const std::size_t room = kKeptErrorBytes - std::min(kKeptErrorBytes, kept.size());
            kept.append(chunk, std::min(room, std::size_t(n)));
            total += std::size_t(n);
        } else if (n == 0) {
            open = false;
        } else if (errno == EAGAIN) {
            return;
        } else if (errno != EINTR) {
            read_error = errno;
            open = false;
        }
    }
}

// Waits up to one poll step, draining the pipe meanwhile. Returns early at end-of-file,
// which usually means the child has just ended.
void wait_step(int fd, ErrorText& text)
{
    const auto deadline = Clock::now() + kPollStep;
    if (!text.open) {
        std::this_thread::sleep_until(deadline);
        return;
    }
    while (text.open) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return;
        pollfd p{fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, int(left.count()));
        if (rc < 0 && errno != EINTR) {
            text.read_error = errno;
            text.open = false;
        } else if (rc > 0) {
            text.drain(fd);
        }
    }
}

struct Outcome {
    int status = 0;  // the wait status
    bool stopped = false;
    int wait_error = 0;
    GroupEnd group;  // what was left of the converter's process group
};

Outcome stop_child(Run& run, Child& child)
{
    Outcome out;
    if (const int err = child.kill_group(); err != 0)
        run.diagnostic(format("execute_converter: kill %d failed: %s", int(child.pid()), std::strerror(err)));
    out.wait_error = child.reap(out.status);
    out.stopped = true;
    return out;
}

// Waits for the converter, then for its standard error to close (bounded), then ends what
// is left of its process group: only after that are its DNGs complete or known not to be.
Outcome wait_for_child(Run& run, Child& child, int fd, ErrorText& text, const std::string& output_folder)
{
    int wait_error = 0;
    while (!child.exited(wait_error)) {
        if (run.stop_requested())
            return stop_child(run, child);
        run.tick();
        run.conversion_progress();
        wait_step(fd, text);
    }
    const auto deadline = Clock::now() + kHelperGrace;
    while (wait_error == 0 && text.open && Clock::now() < deadline) {
        if (run.stop_requested())
            return stop_child(run, child);
        run.tick();
        wait_step(fd, text);
    }
    text.drain(fd);
    Outcome out;
    out.group = end_process_group(child.pid(), output_folder);
    const int reap_error = child.reap(out.status);
    out.wait_error = wait_error != 0 ? wait_error : reap_error;
    return out;
}

int exit_code(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

bool exited_ok(const Outcome& out)
{
    return !out.stopped && out.wait_error == 0 && WIFEXITED(out.status) && WEXITSTATUS(out.status) == 0;
}

std::string outcome_message(const Outcome& out, const ErrorText& text)
{
    if (out.stopped)
        return "Stopped";
    if (out.wait_error != 0)
        return format("Can't wait for converter (error code = %ld)", long(out.wait_error));
    if (text.kept.empty() && WIFSIGNALED(out.status))
        return format("Converter ended by signal %d", WTERMSIG(out.status));
    return text.kept;
}

// A converter that exited 0 has still failed when a process it left behind was writing
// into its output folder, or could not be ended and so might still be.
Status check_group_end(const GroupEnd& end)
{
    if (!end.files_in_use.empty())
        return fail("The converter exited while a process it started was still writing \"" +
                    shown(end.files_in_use.front()) + "\"");
    if (end.kill_error != 0)
        return fail(format("Can't end the converter's helper processes (error code = %ld)",
                           long(end.kill_error)));
    return {};
}

// The folder the converter writes into: the entry after "-d" among the fixed ones.
std::string output_folder_of(const std::vector<std::string>& argv, std::size_t fixed_count)
{
    for (std::size_t i = 1; i + 1 < fixed_count; ++i)
        if (argv[i] == "-d")
            return argv[i + 1];
    return {};
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    result.reserve(strings.size() + 1);
    for (auto& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

std::string converter_command_line(const std::vector<std::string>& entries)
{
    std::size_t length = 1;
    for (const auto& e : entries)
        length += e.size() + 3;
    std::string line;
    line.reserve(length);
    for (const auto& e : entries)
        line.append("\"").append(e).append("\" ");
    return line;
}

Status run_converter(Run& run, const std::string& converter, const std::vector<std::string>& argv,
                     std::size_t fixed_count, std::size_t* files_done)
{
    if (files_done)
        *files_done = 0;
    if (fixed_count == 0 || fixed_count > argv.size())
        return fail("run_converter: bad argument vector");
    const auto fixed_end = argv.begin() + std::ptrdiff_t(fixed_count);
    const std::string output_folder = output_folder_of(argv, fixed_count);
    for (std::size_t first = fixed_count; first < argv.size(); first += kMaxFilesPerProcess) {
        const std::size_t last = std::min(argv.size(), first + kMaxFilesPerProcess);
        std::vector<std::string> group;
        try {
            group.reserve(fixed_count + last - first);
            group.assign(argv.begin(), fixed_end);
            group.insert(group.end(), argv.begin() + std::ptrdiff_t(first),
                         argv.begin() + std::ptrdiff_t(last));
            run.diagnostic(converter_command_line(group));
        } catch (const std::bad_alloc&) {
            return fail("Can't allocate cmd buffer");
        }
        if (Status ran = execute_converter(run, converter, group, nullptr, output_folder); !ran)
            return ran;
        if (files_done)
            *files_done += last - first;
    }
    return {};
}

Status execute_converter(Run& run, const std::string& program, const std::vector<std::string>& argv,
                         std::string* said, const std::string& output_folder)
{
    ErrorPipe pipe;
    if (Status made = make_error_pipe(pipe); !made)
        return made;
    std::vector<std::string> args = argv;
    auto argp = pointers(args);
    pid_t pid = -1;
    const int rc = spawn_child(program, argp, pipe.write_end.get(), pid);
    pipe.write_end.reset();
    if (rc != 0)
        return fail(format("Can't execute: %s (error code = %ld)", program.c_str(), long(rc)));
    Child child(pid);
    ErrorText text;
    const Outcome out = wait_for_child(run, child, pipe.read_end.get(), text, output_folder);
    run.diagnostic(format("status = %d", exit_code(out.status)));
    if (text.read_error != 0)
        return fail("execute_converter: readfile", "", text.read_error);
    const std::string message = outcome_message(out, text);
    run.diagnostic(message);
    run.diagnostic(format("%d - read %zu bytes", int(pid), text.total));
    if (out.group.survivors > 0)
        run.diagnostic(format("execute_converter: %d helper processes outlived SIGKILL", out.group.survivors));
    if (said)
        *said = message;
    if (!exited_ok(out))
        return fail(message);
    return check_group_end(out.group);
}

}  // namespace oakvane
