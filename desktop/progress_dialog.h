#pragma once
// The progress dialog of a run: the engine works on a thread of its own while this modal
// dialog shows its phase and progress and offers Stop. The run's output lines go to the main
// window's list, each one there before the engine goes on.

#include "engine.h"
#include "run_report.h"
#include "start_run.h"

#include <QDialog>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QThread;

namespace oakvane {

class CProgressDlg;

// The engine's hooks on its worker thread: every call that touches a window is made on the
// user-interface thread, and waits for it.
class ProgressHooks : public HostHooks {
public:
    explicit ProgressHooks(CProgressDlg& dialog) : m_dialog(dialog) {}
    void output_text(std::string_view text) override;
    void progress_status(std::string_view text) override;
    void progress_range(int n) override;
    void progress_step() override;
    void progress_tick() override {}
    // The converter's phase: the bar counts the DNGs made so far.
    void conversion_progress(int converted, int total) override;
    int stop_requested() override;
    // The window has no place for them: they go to standard error, as a log of the run.
    void diagnostic(std::string_view text) override;
    bool folder_on_card(const std::string& folder) override;

private:
    static constexpr std::chrono::milliseconds kBarInterval{100};

    // On the user-interface thread: the bar shows the latest position.
    void show_position();

    CProgressDlg& m_dialog;
    // The bar follows the position without a round trip per file: a step posts an update at
    // most every kBarInterval and only when none is waiting; every synchronous call (a line,
    // a phase) brings the bar up to date on the way.
    std::atomic<int> m_position{0};
    std::atomic<bool> m_update_posted{false};
    std::chrono::steady_clock::time_point m_last_post{};  // worker thread only
};

class CProgressDlg : public QDialog {
    Q_OBJECT
public:
    // output is the main window's output_text; it is called on the user-interface thread.
    // card is the detected card, for the run's report.
    CProgressDlg(RunRequest request, DetectedCard card,
                 std::function<void(std::string_view)> output, QWidget* parent = nullptr);
    ~CProgressDlg() override;

    // Runs the engine behind the dialog until it has finished or Stop has been answered.
    RunResult run();

    // The Stop button: asks the engine to stop and waits for it, still serving its calls.
    void OnStop();

    // What the run did, for its report; complete once run() has returned.
    const RunRecord& record() const { return m_record; }

signals:
    void workerEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    friend class ProgressHooks;
    void start_worker();
    bool wait_for_first_paint();
    void worker_finished();
    // Runs f on the user-interface thread and waits until it has run.
    void on_ui_thread(const std::function<void()>& f);

    RunRequest m_request;
    DetectedCard m_card;
    std::function<void(std::string_view)> m_output;
    QLabel* m_status;
    QProgressBar* m_bar;
    QPushButton* m_stopButton;
    ProgressHooks m_hooks;
    QThread* m_thread = nullptr;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_worker_done{false};
    int m_exposeWaits = 0;
    // Written by the worker, read after it has ended.
    RunResult m_result;
    RunRecord m_record;
};

// Shows the progress dialog for one run of the engine with arguments; returns when the run is
// over, however it ended. record, when given, receives what the run did for its report.
RunResult RunWithProgress(const RunRequest& request, const DetectedCard& card,
                           std::function<void(std::string_view)> output, QWidget* parent,
                           RunRecord* record = nullptr);

}  // namespace oakvane
