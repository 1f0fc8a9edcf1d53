#pragma once
// The command line as the engine's host: output lines on standard output, diagnostics and
// a progress bar (only on a terminal) on standard error, Stop from SIGINT, SIGTERM or SIGHUP.

#include "engine.h"

#include <chrono>
#include <string>

namespace oakvane {

class CliHost : public HostHooks {
public:
    // Installs the SIGINT, SIGTERM and SIGHUP handlers that request a stop.
    CliHost();

    void output_text(std::string_view text) override;
    void progress_status(std::string_view text) override;
    void progress_range(int n) override;
    void progress_step() override;
    void progress_tick() override;
    int stop_requested() override;

    // Becomes readable once a stop was requested, for hosts that wait in an event loop
    // between runs; -1 when it could not be made.
    static int stop_notify_fd();

    // Clears the progress bar so that what follows starts on a clean line.
    void finish_progress();

private:
    void draw(bool force);

    bool m_draw;  // standard error is a terminal
    bool m_drawn = false;
    std::string m_status;
    int m_range = 0;
    int m_position = 0;
    int m_ticks = 0;
    std::chrono::steady_clock::time_point m_last_draw;
};

}  // namespace oakvane
