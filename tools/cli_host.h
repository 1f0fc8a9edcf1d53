#pragma once
// The command line as the engine's host: output lines on standard output, diagnostics and
// a progress bar (only on a terminal) on standard error, Stop from SIGINT, SIGTERM or SIGHUP.
//
// On a terminal the user sees the output lines and the progress bar only; the engine's
// diagnostics (file lists, folder names) are shown on verbose runs (--verbose, or
// OAKVANE_VERBOSE=1), in place of the bar so the two never share a line. Where standard
// error is not a terminal (a log), the diagnostics go there as always.

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
    // The converter's phase has a bar of its own: DNGs made of the raws given.
    void conversion_progress(int converted, int total) override;
    // Diagnostics go to standard error where no bar is drawn there (not a terminal, or a
    // verbose run); under the bar they are left out.
    void diagnostic(std::string_view text) override;
    bool folder_on_card(const std::string& folder) override;

    // Becomes readable once a stop was requested, for hosts that wait in an event loop
    // between runs; -1 when it could not be made.
    static int stop_notify_fd();

    // Verbose runs show the engine's diagnostics on a terminal too. OAKVANE_VERBOSE=1 in
    // the environment sets it as well.
    static void set_verbose(bool verbose);

    // Clears the progress bar so that what follows starts on a clean line.
    void finish_progress();

private:
    void draw(bool force);
    // What the bar counts: files, shown as the run's report counts them, or DNGs.
    int shown_total() const;
    int shown_done() const;
    std::string timing() const;

    bool m_draw;  // standard error is a terminal and the run is not verbose
    bool m_drawn = false;
    std::string m_status;
    int m_range = 0;
    int m_position = 0;
    int m_ticks = 0;
    bool m_converting = false;  // the bar counts DNGs until the next range
    std::chrono::steady_clock::time_point m_last_draw;
    std::chrono::steady_clock::time_point m_range_start;
};

}  // namespace oakvane
