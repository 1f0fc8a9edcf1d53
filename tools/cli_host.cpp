#include "cli_host.h"

#include "output_lines.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace oakvane {

namespace {

volatile std::sig_atomic_t g_stop = 0;
int g_stop_pipe[2] = {-1, -1};

extern "C" void request_stop(int)
{
    g_stop = 1;
    if (g_stop_pipe[1] >= 0) {
        const int saved = errno;
        [[maybe_unused]] const ssize_t n = write(g_stop_pipe[1], "s", 1);
        errno = saved;
    }
}

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

CliHost::CliHost() : m_draw(isatty(STDERR_FILENO) == 1)
{
    if (g_stop_pipe[0] < 0 && pipe2(g_stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        g_stop_pipe[0] = g_stop_pipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = request_stop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed terminal ends the run the same orderly way, rather than in the middle of a copy.
    sigaction(SIGHUP, &action, nullptr);
}

void CliHost::output_text(std::string_view text)
{
    finish_progress();
    for (const std::string& line : output_lines(text)) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);
}

void CliHost::progress_status(std::string_view text)
{
    m_status = text;
    draw(true);
}

void CliHost::progress_range(int n)
{
    m_range = n;
    m_position = 0;
    draw(true);
}

void CliHost::progress_step()
{
    if (m_position < m_range)
        ++m_position;
    draw(m_position == m_range);
}

void CliHost::progress_tick()
{
    ++m_ticks;
    draw(false);
}

int CliHost::stop_requested() { return g_stop; }

int CliHost::stop_notify_fd() { return g_stop_pipe[0]; }

void CliHost::finish_progress()
{
    if (m_drawn) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_drawn = false;
    }
}

void CliHost::draw(bool force)
{
    if (!m_draw)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_last_draw < kRedrawInterval)
        return;
    m_last_draw = now;
    const int filled = m_range > 0 ? m_position * kBarWidth / m_range : 0;
    static constexpr const char* kSpinner = "|/-\\";
    std::fprintf(stderr, "\r\033[K[%-*s] %d/%d %c %s", kBarWidth, std::string(filled, '#').c_str(),
                 m_position, m_range, kSpinner[m_ticks % 4], m_status.c_str());
    std::fflush(stderr);
    m_drawn = true;
}

}  // namespace oakvane
