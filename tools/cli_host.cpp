#include "cli_host.h"

#include "eject.h"
#include "output_lines.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
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
constexpr int kNarrowestBar = 10;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

bool g_verbose = false;

bool verbose()
{
    const char* env = std::getenv("OAKVANE_VERBOSE");
    return g_verbose || (env && std::strcmp(env, "1") == 0);
}

// A line longer than the terminal wraps, and "\r" then goes back to the start of its last
// part only: each redraw would leave a line behind.
int terminal_columns()
{
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

std::string minutes_seconds(long seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", seconds / 60, seconds % 60);
    return text;
}

}  // namespace

void CliHost::set_verbose(bool on) { g_verbose = on; }

CliHost::CliHost() : m_draw(isatty(STDERR_FILENO) == 1 && !verbose())
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
    m_converting = false;
    m_range = n;
    m_position = 0;
    m_range_start = std::chrono::steady_clock::now();
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

void CliHost::conversion_progress(int converted, int total)
{
    if (!m_converting)
        m_range_start = std::chrono::steady_clock::now();
    m_converting = true;
    m_range = total;
    m_position = converted;
    draw(converted == total);
}

int CliHost::stop_requested() { return g_stop; }

bool CliHost::folder_on_card(const std::string& folder) { return oakvane::folder_on_card(folder); }

void CliHost::diagnostic(std::string_view text)
{
    if (m_draw)
        return;
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
}

int CliHost::stop_notify_fd() { return g_stop_pipe[0]; }

void CliHost::finish_progress()
{
    if (m_drawn) {
        dprintf(STDERR_FILENO, "\r\033[K");
        m_drawn = false;
    }
}

// The engine's range is one more than the files, for its final step: the bar counts files as
// the run's report does.
int CliHost::shown_total() const { return m_converting || m_range <= 1 ? m_range : m_range - 1; }

int CliHost::shown_done() const { return std::min(m_position, shown_total()); }

void CliHost::draw(bool force)
{
    if (!m_draw)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_last_draw < kRedrawInterval)
        return;
    m_last_draw = now;
    const int columns = terminal_columns();
    const int width = std::clamp(columns / 4, kNarrowestBar, kBarWidth);
    const int filled = m_range > 0 ? m_position * width / m_range : 0;
    static constexpr const char* kSpinner = "|/-\\";
    char counts[64];
    std::snprintf(counts, sizeof counts, "%d/%d%s", shown_done(), shown_total(),
                  m_converting ? " DNGs" : "");
    std::string line = "[" + std::string(filled, '#') + std::string(width - filled, ' ') + "] " +
                       counts + " " + timing() + " " + kSpinner[m_ticks % 4] + " " + m_status;
    // The last column stays free: a line that fills it moves some terminals to the next.
    if (static_cast<int>(line.size()) > columns - 1)
        line.resize(std::max(columns - 1, 0));
    dprintf(STDERR_FILENO, "\r\033[K%s", line.c_str());
    m_drawn = true;
}

// "elapsed 0:12, left 1:40": the time left at the pace of the steps so far.
std::string CliHost::timing() const
{
    using std::chrono::duration_cast;
    using std::chrono::seconds;
    const long elapsed = static_cast<long>(
        duration_cast<seconds>(std::chrono::steady_clock::now() - m_range_start).count());
    std::string text = "elapsed " + minutes_seconds(elapsed);
    if (m_position > 0 && m_position < m_range)
        text += ", left " + minutes_seconds(elapsed * (m_range - m_position) / m_position);
    return text;
}

}  // namespace oakvane
