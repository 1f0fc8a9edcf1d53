#include "process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace oakvane::test {

namespace {

std::vector<std::string> merged_environment(const std::vector<std::string>& extra)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& x : extra)
            replaced = replaced || x.compare(0, name.size() + 1, name + "=") == 0;
        if (!replaced)
            env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> p;
    for (auto& s : strings)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

}  // namespace

Process::Process(const std::vector<std::string>& argv, const std::vector<std::string>& env)
{
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> args = argv;
    std::vector<std::string> envs = merged_environment(env);
    auto argp = pointers(args);
    auto envp = pointers(envs);
    int rc = posix_spawn(&m_pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    m_out = out[0];
    m_err = err[0];
    if (rc != 0)
        throw std::runtime_error("can't start " + argv[0] + ": " + std::strerror(rc));
}

Process::~Process()
{
    if (!m_waited && m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0)
        close(m_out);
    if (m_err >= 0)
        close(m_err);
}

void Process::send_signal(int sig) { kill(m_pid, sig); }

void Process::pump(int timeout_ms)
{
    pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
    if (poll(fds, 2, timeout_ms) <= 0)
        return;
    char buf[65536];
    std::string* sinks[2] = {&m_result.out, &m_result.err};
    int* fdp[2] = {&m_out, &m_err};
    for (int i = 0; i < 2; ++i) {
        if (*fdp[i] < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
            continue;
        ssize_t n = read(*fdp[i], buf, sizeof buf);
        if (n > 0) {
            sinks[i]->append(buf, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            close(*fdp[i]);
            *fdp[i] = -1;
        }
    }
}

const std::string& Process::poll_out(int timeout_ms)
{
    if (m_out >= 0 || m_err >= 0) {
        // Fix up poll on closed descriptors: poll ignores negative fds.
        pump(timeout_ms);
    }
    return m_result.out;
}

ProcessResult Process::wait()
{
    while (m_out >= 0 || m_err >= 0)
        pump(1000);
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_waited = true;
    if (WIFEXITED(status))
        m_result.exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        m_result.signal = WTERMSIG(status);
    return m_result;
}

ProcessResult run_process(const std::vector<std::string>& argv, const std::vector<std::string>& env)
{
    Process p(argv, env);
    return p.wait();
}

}  // namespace oakvane::test
