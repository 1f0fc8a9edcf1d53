#include "progress_dialog.h"

#include "eject.h"

#include <cstdio>

#include <QCloseEvent>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace oakvane {

void ProgressHooks::output_text(std::string_view text)
{
    const std::string copy(text);
    m_dialog.on_ui_thread([&] {
        show_position();
        m_dialog.m_output(copy);
    });
}

void ProgressHooks::progress_status(std::string_view text)
{
    const QString copy = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    m_dialog.on_ui_thread([&] {
        show_position();
        m_dialog.m_status->setText(copy);
    });
}

void ProgressHooks::progress_range(int n)
{
    m_position = 0;
    m_dialog.on_ui_thread([&] {
        m_dialog.m_bar->setRange(0, n);
        m_dialog.m_bar->setValue(0);
    });
}

void ProgressHooks::progress_step()
{
    ++m_position;
    // A bar that moves ten times a second tells as much as one that moves with every
    // file, and a round trip per file would cost the run more than the copies of small files.
    const auto now = std::chrono::steady_clock::now();
    if (now - m_last_post < kBarInterval || m_update_posted.exchange(true))
        return;
    m_last_post = now;
    QMetaObject::invokeMethod(&m_dialog, [this] {
        m_update_posted = false;
        show_position();
    }, Qt::QueuedConnection);
}

void ProgressHooks::conversion_progress(int converted, int total)
{
    m_position = converted;
    QMetaObject::invokeMethod(&m_dialog, [this, total] {
        if (m_dialog.m_bar->maximum() != total)
            m_dialog.m_bar->setRange(0, total);
        show_position();
    }, Qt::QueuedConnection);
}

void ProgressHooks::show_position()
{
    m_dialog.m_bar->setValue(std::min(m_position.load(), m_dialog.m_bar->maximum()));
}

bool ProgressHooks::folder_on_card(const std::string& folder) { return oakvane::folder_on_card(folder); }

void ProgressHooks::diagnostic(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
}

int ProgressHooks::stop_requested() { return m_dialog.m_stop ? 1 : 0; }

CProgressDlg::CProgressDlg(RunRequest request, DetectedCard card,
                           std::function<void(std::string_view)> output, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_request(std::move(request)), m_card(std::move(card)), m_output(std::move(output)),
      m_status(new QLabel(this)),
      m_bar(new QProgressBar(this)), m_stopButton(new QPushButton(QStringLiteral("&Stop"), this)),
      m_hooks(*this)
{
    setWindowTitle(QStringLiteral("Oakvane Progress"));
    setObjectName(QStringLiteral("CProgressDlg"));
    m_status->setObjectName(QStringLiteral("status"));
    m_bar->setObjectName(QStringLiteral("progress"));
    m_bar->setAccessibleName(QStringLiteral("Progress"));
    m_stopButton->setObjectName(QStringLiteral("stop"));
    // Enter must not stop a run by accident: Stop is pressed on purpose or not at all.
    m_stopButton->setAutoDefault(false);
    connect(m_stopButton, &QPushButton::clicked, this, &CProgressDlg::OnStop);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_bar);
    layout->addWidget(m_stopButton, 0, Qt::AlignHCenter);
    const int width = fontMetrics().averageCharWidth() * 60;
    m_status->setMinimumWidth(width);
    setFixedSize(sizeHint());
}

CProgressDlg::~CProgressDlg()
{
    // The dialog ends only after its worker, so this only joins a thread that has finished.
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

RunResult CProgressDlg::run()
{
    QMetaObject::invokeMethod(this, &CProgressDlg::start_worker, Qt::QueuedConnection);
    exec();
    end_run_record(m_record, m_result);
    return m_result;
}

namespace {

// The report's hooks pass on what the report does not take, the converter's progress too.
class DialogHooks : public ReportingHooks {
public:
    DialogHooks(ProgressHooks& inner, RunRecord& record) : ReportingHooks(inner, record), m_inner(inner) {}
    void conversion_progress(int converted, int total) override
    {
        m_inner.conversion_progress(converted, total);
    }

private:
    ProgressHooks& m_inner;
};

}  // namespace

// Under an X server without a compositor the dialog's first expose can come while the worker
// already keeps the event loop busy with its calls, and the dialog stays black until covered
// and uncovered: the worker starts once the window is on screen and painted.
bool CProgressDlg::wait_for_first_paint()
{
    constexpr int kMaxWaits = 50;  // 10 ms each: a window never exposed does not hold the run
    const QWindow* window = windowHandle();
    if (window && !window->isExposed() && m_exposeWaits++ < kMaxWaits) {
        QTimer::singleShot(10, this, &CProgressDlg::start_worker);
        return false;
    }
    repaint();
    return true;
}

void CProgressDlg::start_worker()
{
    if (!wait_for_first_paint())
        return;
    m_record = begin_run_record(m_request, m_card);
    m_thread = QThread::create([this] {
        DialogHooks hooks(m_hooks, m_record);
        m_result = ingest(m_request, hooks);
        m_worker_done = true;
        QMetaObject::invokeMethod(this, &CProgressDlg::worker_finished, Qt::QueuedConnection);
    });
    m_thread->start();
}

void CProgressDlg::worker_finished()
{
    emit workerEnded();
    // After Stop, OnStop waits for this moment and closes the dialog itself.
    if (!m_stop)
        accept();
}

void CProgressDlg::OnStop()
{
    if (m_stop)
        return;
    m_stop = true;
    m_stopButton->setEnabled(false);
    if (!m_worker_done) {
        // The worker usually makes a call into this thread before it next looks at the flag:
        // the wait has to keep serving those calls, or the worker could never end.
        QEventLoop loop;
        connect(this, &CProgressDlg::workerEnded, &loop, &QEventLoop::quit);
        if (!m_worker_done)
            loop.exec();
    }
    accept();
}

void CProgressDlg::closeEvent(QCloseEvent* event)
{
    // The dialog closes itself once the worker has ended; the window manager cannot close it.
    event->ignore();
}

// Escape would end a modal dialog while the worker still writes into it.
void CProgressDlg::reject() {}

void CProgressDlg::on_ui_thread(const std::function<void()>& f)
{
    QMetaObject::invokeMethod(this, f, Qt::BlockingQueuedConnection);
}

RunResult RunWithProgress(const RunRequest& request, const DetectedCard& card,
                          std::function<void(std::string_view)> output, QWidget* parent,
                          RunRecord* record)
{
    CProgressDlg dialog(request, card, std::move(output), parent);
    const RunResult outcome = dialog.run();
    if (record)
        *record = dialog.record();
    return outcome;
}

}  // namespace oakvane
