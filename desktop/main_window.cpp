#include "main_window.h"

#include "about_dialog.h"
#include "camera_monitor.h"
#include "choose_backup_dialog.h"
#include "choose_card_dialog.h"
#include "eject.h"
#include "eject_job.h"
#include "eliding_label.h"
#include "new_name_dialog.h"
#include "output_lines.h"
#include "output_list.h"
#include "pickers.h"
#include "preferences_dialog.h"
#include "progress_dialog.h"
#include "run_settings.h"
#include "viewer_launch.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>

#include <cstdio>

namespace oakvane {

namespace {

constexpr const char* kWarranty[] = {
    "THIS SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND,\n",
    "EXPRESS OR IMPLIED. THE IMPLIED WARRANTIES OF MERCHANTABILITY AND\n",
    "FITNESS FOR A PARTICULAR PURPOSE ARE DISCLAIMED. IN NO EVENT SHALL\n",
    "THE MAKERS OR CONTRIBUTORS BE LIABLE FOR ANY DIRECT, INDIRECT,\n",
    "INCIDENTAL, SPECIAL, EXEMPLARY OR CONSEQUENTIAL DAMAGES (INCLUDING\n",
    "LOSS OF IMAGES OR DATA) HOWEVER CAUSED, ARISING IN ANY WAY OUT OF\n",
    "THE USE OF THIS SOFTWARE, EVEN IF ADVISED OF THE POSSIBILITY OF\n",
    "SUCH DAMAGE.",
};

// What a window manager's frame may take beside the window.
constexpr int kFrameWidth = 16;

QLabel* label_for(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    buddy->setAccessibleName(QString(text).remove(QLatin1Char('&')).remove(QLatin1Char(':')));
    return label;
}

std::vector<std::string> entries_of(const QComboBox* combo)
{
    std::vector<std::string> entries;
    for (int i = 0; i < combo->count(); ++i)
        entries.push_back(combo->itemText(i).toStdString());
    return entries;
}

QPushButton* button(const QString& text, const char* name, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

}  // namespace

CMainDlg::CMainDlg(Options options) : m_options(std::move(options))
{
    setWindowTitle(QStringLiteral("Oakvane"));
    setObjectName(QStringLiteral("CMainDlg"));
    build_controls();
    lay_out_controls();
    connect_controls();
}

CMainDlg::~CMainDlg() = default;

void CMainDlg::build_controls()
{
    // The status and card texts carry no fixed accessible name: a screen reader reads them out
    // as they change.
    m_status = new QLabel(QString::fromLatin1(no_card_state().main_status.c_str()), this);
    m_status->setObjectName(QStringLiteral("status"));
    m_startButton = button(QStringLiteral("&Start"), "start", this);
    m_startAuto = new QLabel(this);
    m_startAuto->setObjectName(QStringLiteral("startAuto"));
    m_cardText = new ElidingLabel(QString::fromLatin1(no_card_state().card_text.c_str()), this);
    m_cardText->setObjectName(QStringLiteral("cardText"));
    m_ejectButton = button(QStringLiteral("&Eject"), "eject", this);
    m_ejectButton->setEnabled(false);
    m_ejectAuto = new QLabel(this);
    m_ejectAuto->setObjectName(QStringLiteral("ejectAuto"));
    m_prefsButton = button(QStringLiteral("&Preferences..."), "preferences", this);
    m_updateButton = button(QStringLiteral("Check for &Update"), "checkForUpdate", this);
    m_webButton = button(QStringLiteral("&Web Site"), "webSite", this);
    m_aboutButton = button(QStringLiteral("&About Oakvane..."), "about", this);
    m_exitButton = button(QStringLiteral("E&xit"), "exit", this);
    m_exitButton->setDefault(true);

    m_template = new QComboBox(this);
    m_template->setObjectName(QStringLiteral("template"));
    m_templateLabel = label_for(QStringLiteral("&Metadata Template:"), m_template, this);
    m_userFolder = new QComboBox(this);
    m_userFolder->setObjectName(QStringLiteral("userFolder"));
    m_userFolderLabel = label_for(QStringLiteral("User-&Named Folder:"), m_userFolder, this);
    m_prefSet = new QComboBox(this);
    m_prefSet->setObjectName(QStringLiteral("prefSet"));
    m_prefSetLabel = label_for(QStringLiteral("Pre&ference Set:"), m_prefSet, this);
    m_startingNumber = new QLineEdit(this);
    m_startingNumber->setObjectName(QStringLiteral("startingNumber"));
    m_startingNumber->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    m_numberLabel = label_for(QStringLiteral("Starting &Number:"), m_startingNumber, this);
    m_startingNumber->setMaximumWidth(m_startingNumber->fontMetrics().averageCharWidth() * 12);
    m_startingNumber->installEventFilter(this);

    m_output = new OutputList(this);
    m_output->setObjectName(QStringLiteral("output"));
    m_output->setAccessibleName(QStringLiteral("Output list"));
    m_output->setUniformItemSizes(true);
    m_output->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_output->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    const QFontMetrics metrics = m_output->fontMetrics();
    m_output->setMinimumSize(metrics.averageCharWidth() * 110, metrics.height() * 22);
    for (QComboBox* list : {m_template, m_userFolder, m_prefSet})
        list->setMinimumWidth(metrics.averageCharWidth() * 34);
}

// Rows as the window reads: card state and the window's buttons; Start and Eject; the
// choices of the next run; the output list.
void CMainDlg::lay_out_controls()
{
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_status, 0, 0, 1, 2);
    grid->addWidget(m_cardText, 0, 2, 1, 3);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_prefsButton, m_updateButton, m_webButton, m_aboutButton, m_exitButton})
        buttons->addWidget(b);
    grid->addLayout(buttons, 0, 5);
    grid->addWidget(m_startButton, 1, 0);
    grid->addWidget(m_startAuto, 1, 1);
    grid->addWidget(m_ejectButton, 1, 2);
    grid->addWidget(m_ejectAuto, 1, 3);
    grid->addWidget(m_templateLabel, 1, 5);
    grid->addWidget(m_prefSetLabel, 2, 0, 1, 2);
    grid->addWidget(m_numberLabel, 2, 2, 1, 2);
    grid->addWidget(m_template, 2, 5);
    grid->addWidget(m_prefSet, 3, 0, 1, 2);
    grid->addWidget(m_startingNumber, 3, 2, 1, 2);
    grid->addWidget(m_userFolderLabel, 3, 5);
    grid->addWidget(m_userFolder, 4, 5);
    grid->addWidget(m_output, 5, 0, 1, 6);
    grid->setColumnStretch(4, 1);
    grid->setRowStretch(5, 1);

    QWidget* order[] = {m_startButton, m_ejectButton, m_prefsButton, m_updateButton, m_webButton,
                        m_aboutButton, m_exitButton, m_prefSet, m_startingNumber, m_template,
                        m_userFolder, m_output};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    m_startButton->setFocus();
    // Resizable from its natural size up: the card text gives way, never a button.
    setSizeGripEnabled(true);
    resize(sizeHint());
}

void CMainDlg::connect_controls()
{
    connect(m_startButton, &QPushButton::clicked, this, &CMainDlg::OnStart);
    connect(m_ejectButton, &QPushButton::clicked, this, &CMainDlg::OnEject);
    connect(m_prefsButton, &QPushButton::clicked, this, &CMainDlg::OnPreferences);
    connect(m_updateButton, &QPushButton::clicked, this, &CMainDlg::OnCheckForUpdate);
    connect(m_webButton, &QPushButton::clicked, this, &CMainDlg::OnWebSite);
    connect(m_aboutButton, &QPushButton::clicked, this, &CMainDlg::OnAbout);
    connect(m_exitButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_template, &QComboBox::activated, this, &CMainDlg::OnTemplateChange);
    connect(m_userFolder, &QComboBox::activated, this, &CMainDlg::OnUserFolderChange);
    connect(m_prefSet, &QComboBox::activated, this, &CMainDlg::OnPrefSetSelect);
    connect(&m_gate, &RunGate::startRun, this, &CMainDlg::OnStart);
    m_gate.set_still_wanted([this](const std::string& card) { return held_run_still_wanted(card); });
    m_eject = new EjectJob(this);
    connect(m_eject, &EjectJob::finished, this, &CMainDlg::eject_finished);
}

// A run held while a dialog was open is for the card of that moment, with Auto Ingest on
// then: both may have changed since.
bool CMainDlg::held_run_still_wanted(const std::string& card)
{
    if (!m_prefs || !m_prefs->GetAutoIngest() || !m_detector || card.empty())
        return false;
    if (m_options.card)
        return *m_options.card == card;
    m_detector->ScanForCards();
    return m_detector->state().card_folder == card;
}

// Enter in the starting number keeps the number, and must not reach the window's default
// button, which ends the program.
bool CMainDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_startingNumber && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            store_starting_number();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CMainDlg::store_starting_number()
{
    if (m_prefs && m_startingNumber->isEnabled())
        m_prefs->SetStartingNumber(m_startingNumber->text().toStdString());
}

bool CMainDlg::OnInitDialog()
{
    m_prefs = std::make_unique<Preferences>(*this, m_options.where.value_or(default_location()));
    if (!m_prefs->InitPreferences()) {
        m_prefs.reset();
        return false;
    }
    m_start = std::make_unique<StartCommand>(*m_prefs, *this);
    {
        RunGate::Wait wait(m_gate);
        check_for_update(false, *m_prefs, *this);
    }
    write_warranty();
    start_card_detection();
    ApplyPreferencesToWindow();
    FillTemplateCombo();
    fill_pref_set_list();
    OnPrefSetSelect();
    if (m_options.card) {
        m_start->set_card_override(m_options.card);
        if (m_prefs->GetAutoIngest())
            m_gate.request(*m_options.card);
    }
    return true;
}

void CMainDlg::write_warranty()
{
    output_text("\nWARRANTY\n\n");
    for (const char* text : kWarranty)
        output_text(text);
}

void CMainDlg::start_card_detection()
{
    auto cameras = std::make_shared<CameraCache>(camera::detect_cameras);
    const bool system_volumes = !m_options.volumes;
    std::unique_ptr<VolumeSource> volumes =
        m_options.volumes ? std::move(m_options.volumes) : make_system_volume_source(cameras);
    m_detector = std::make_unique<CardDetector>(*this, std::move(volumes),
                                                [this] { return m_prefs && m_prefs->GetAutoIngest(); });
    connect(m_detector.get(), &CardDetector::runRequested, this,
            [this] { m_gate.request(m_detector->state().card_folder); });
    std::string why;
    std::unique_ptr<MountMonitor> mounts =
        m_options.mounts ? std::move(m_options.mounts) : make_mount_monitor(why);
    // Without the mount table's notifications the window still shows the state found now and
    // after each eject; a card inserted later needs a restart to be seen.
    if (!mounts || !m_detector->start_watching(std::move(mounts), why))
        std::fprintf(stderr, "Cards inserted from now on will not be noticed: %s\n", why.c_str());
    // Cameras are looked for only on the running system, and never while a run has one open.
    if (system_volumes)
        m_detector->watch_cameras(make_camera_monitor(cameras, [this] { return !m_gate.running(); }));
    m_detector->ScanForCards();
}

void CMainDlg::ApplyPreferencesToWindow()
{
    if (!m_prefs)
        return;
    m_startAuto->setText(m_prefs->GetAutoIngest() ? QStringLiteral("Auto") : QString());
    m_ejectAuto->setText(m_prefs->GetAutoEject() ? QStringLiteral("Auto") : QString());
    if (uses_starting_number(m_prefs->GetNameFmt())) {
        m_startingNumber->setMaxLength(4);
        m_startingNumber->setText(QString::fromStdString(m_prefs->GetStartingNumber()));
        m_startingNumber->setEnabled(true);
    } else {
        m_startingNumber->setMaxLength(32767);
        m_startingNumber->setText(QStringLiteral("[not used]"));
        m_startingNumber->setEnabled(false);
    }
    if (m_prefs->GetWantUserFolder()) {
        FillUserFolderCombo();
        m_userFolder->setEnabled(true);
    } else {
        m_userFolder->clear();
        m_userFolder->addItem(QStringLiteral("[not used]"));
        m_userFolder->setCurrentIndex(0);
        m_userFolderName.clear();
        m_userFolder->setEnabled(false);
    }
    const std::vector<std::string> templates = entries_of(m_template);
    int found = find_prefix_entry(templates, m_prefs->GetTemplate());
    if (found < 0)
        found = find_prefix_entry(templates, "Default");
    if (found >= 0)
        m_template->setCurrentIndex(found);
    OnTemplateChange();
}

void CMainDlg::OnStart()
{
    if (!m_start || m_gate.running())
        return;
    m_gate.set_running(true);
    m_start->OnStart();
    m_gate.set_running(false);
    // The card named on the command line is the first Start's only.
    if (m_options.card) {
        m_options.card.reset();
        m_start->set_card_override(std::nullopt);
    }
    // The next Enter starts the next card, not the button a dialog left the focus on.
    if (m_startButton->isEnabled())
        m_startButton->setFocus();
}

void CMainDlg::OnEject()
{
    const std::string card_folder = detected_card().folder;
    if (card_folder.size() < 2 || !m_eject->start(card_folder))
        return;
    m_statusBeforeEject = m_status->text();
    m_status->setText(QStringLiteral("Ejecting card..."));
    m_ejectButton->setEnabled(false);
}

void CMainDlg::eject_finished(const EjectReport& report)
{
    m_status->setText(m_statusBeforeEject);
    if (m_detector)
        set_eject_enabled(m_detector->state().eject_enabled);
    switch (report.result) {
    case CardEject::done:
        if (!report.reason.empty())
            output_text(report.reason);
        if (m_detector)
            m_detector->ScanForCards();
        break;
    case CardEject::refused:
        message_box(report.reason.empty() ? std::string(kCantEjectCard)
                                          : std::string(kCantEjectCard) + "\n" + report.reason);
        break;
    case CardEject::no_card:
        break;
    }
}

void CMainDlg::OnPreferences()
{
    if (!m_prefs)
        return;
    RunGate::Wait wait(m_gate);
    CPreferencesDlg dialog(*m_prefs, [this] { ApplyPreferencesToWindow(); }, this);
    m_prefsDlg = &dialog;
    dialog.exec();
    m_prefsDlg = nullptr;
}

void CMainDlg::OnCheckForUpdate()
{
    if (!m_prefs)
        return;
    RunGate::Wait wait(m_gate);
    check_for_update(true, *m_prefs, *this);
}

void CMainDlg::OnWebSite() { open_web_page("/Oakvane/"); }

void CMainDlg::OnAbout()
{
    RunGate::Wait wait(m_gate);
    CAboutDlg about(this);
    about.exec();
}

// A question asked from inside another dialog (the preferences) belongs to that dialog.
QWidget* CMainDlg::dialog_parent()
{
    QWidget* modal = QApplication::activeModalWidget();
    return modal ? modal : this;
}

void CMainDlg::clear_output() { m_output->clear(); }

void CMainDlg::output_text(std::string_view text)
{
    for (const std::string& line : output_lines(text))
        m_output->addItem(QString::fromStdString(line));
    m_output->scrollToBottom();
}

void CMainDlg::set_main_status(std::string_view text)
{
    const QString status = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    // An eject under way keeps saying so; its end shows the latest state.
    if (m_eject->running())
        m_statusBeforeEject = status;
    else
        m_status->setText(status);
}

void CMainDlg::set_buttons(bool start_enabled, bool eject_enabled)
{
    m_startButton->setEnabled(start_enabled);
    m_ejectButton->setEnabled(eject_enabled && !m_eject->running());
}

bool CMainDlg::starting_number_enabled() { return m_startingNumber->isEnabled(); }

std::string CMainDlg::starting_number_text() { return m_startingNumber->text().toStdString(); }

void CMainDlg::set_starting_number_text(const std::string& text)
{
    m_startingNumber->setText(QString::fromStdString(text));
}

DetectedCard CMainDlg::detected_card()
{
    if (!m_detector)
        return {};
    return {m_detector->state().card_folder, m_detector->state().card_name};
}

CardAnswer CMainDlg::choose_card(const std::string& card_name)
{
    RunGate::Wait wait(m_gate);
    return ask_choose_card(this, card_name);
}

std::optional<std::string> CMainDlg::browse_for_folder(const std::string& title)
{
    RunGate::Wait wait(m_gate);
    // Start asks for a card, or for a backup folder when the set's is missing.
    const bool card = title == "Choose card";
    const std::string current = !m_prefs ? std::string()
                                : card   ? m_prefs->GetCardFolder()
                                         : m_prefs->GetBackupFolder();
    return BrowseForFolder(this, QString::fromStdString(title),
                           picker_start(current, card ? PickerFor::Card : PickerFor::Folder));
}

std::optional<BackupAnswer> CMainDlg::choose_backup(const std::string& backup_folder,
                                                    const std::string& previous_folder)
{
    RunGate::Wait wait(m_gate);
    return ask_choose_backup(this, backup_folder, previous_folder);
}

RunResult CMainDlg::run_with_progress(const RunRequest& request)
{
    RunGate::Wait wait(m_gate);
    RunRecord record;
    const RunResult outcome =
        RunWithProgress(request, detected_card(),
                        [this](std::string_view text) { output_text(text); }, this, &record);
    write_run_report(record);
    return outcome;
}

// A run's report goes into the report folder when the preferences name one; one that can't be
// written is said in the output list, below the run it belongs to.
void CMainDlg::write_run_report(const RunRecord& record)
{
    const std::string folder = m_prefs->GetReportFolder();
    if (folder.empty())
        return;
    std::string path;
    std::string why;
    write_report_in(folder, record, path, why);
    if (!why.empty())
        output_text("\n" + why + "\n");
}

void CMainDlg::message_box(const std::string& text)
{
    RunGate::Wait wait(m_gate);
    QWidget* parent = dialog_parent();
    QMessageBox::warning(parent, QStringLiteral("Oakvane"), QString::fromStdString(text));
}

bool CMainDlg::launch_viewer(const std::string& program, const std::vector<std::string>& arguments)
{
    return start_detached(program, arguments);
}

void CMainDlg::eject_card() { OnEject(); }

void CMainDlg::beep() { QApplication::beep(); }

bool CMainDlg::ask_yes_no(const std::string& text)
{
    RunGate::Wait wait(m_gate);
    QWidget* parent = dialog_parent();
    return QMessageBox::question(parent, QStringLiteral("Oakvane"), QString::fromStdString(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::string CMainDlg::ask_new_name()
{
    RunGate::Wait wait(m_gate);
    QWidget* parent = dialog_parent();
    return AskNewName(parent);
}

void CMainDlg::preferences_switched(const std::string& set_name)
{
    if (m_prefsDlg)
        m_prefsDlg->on_preferences_switched(set_name);
    else
        ApplyPreferencesToWindow();
    const int found = SelectPrefSetEntry(entries_of(m_prefSet), set_name);
    if (found >= 0)
        m_prefSet->setCurrentIndex(found);
}

void CMainDlg::pref_sets_changed()
{
    fill_pref_set_list();
    if (m_prefsDlg)
        m_prefsDlg->on_pref_sets_changed();
}

void CMainDlg::set_card_text(std::string_view text)
{
    m_cardText->setFullText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    grow_for_card_text();
}

// A card's text widens the window as far as the screen allows; beyond that it is cut.
void CMainDlg::grow_for_card_text()
{
    const int wanted = sizeHint().width();
    if (!isVisible() || width() >= wanted)
        return;
    const QScreen* where = screen();
    if (!where) {
        resize(wanted, height());
        return;
    }
    const QRect free = where->availableGeometry();
    const int new_width = std::max(width(), std::min(wanted, free.width() - kFrameWidth));
    // Grown to the right past the screen's edge, it moves left to stay whole.
    const int overflow = x() + new_width + kFrameWidth - free.right();
    if (overflow > 0)
        move(std::max(free.left(), x() - overflow), y());
    resize(new_width, height());
}

// While a run is up the Start command decides the buttons, and while an eject is under way
// the eject does; a scan in between only records.
void CMainDlg::set_eject_enabled(bool enabled)
{
    m_ejectButton->setEnabled(enabled && !m_gate.running() && !m_eject->running());
}

void CMainDlg::closeEvent(QCloseEvent* event)
{
    if (m_gate.running()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

// Exit, Enter, Escape and the window's close all end here. Never during a run: the run's
// dialogs and the engine's thread still use the window.
void CMainDlg::done(int result)
{
    if (m_gate.running())
        return;
    if (!m_closed && m_prefs) {
        m_closed = true;
        m_prefs->SavePreferences();
    }
    m_detector.reset();
    QDialog::done(result);
}

}  // namespace oakvane
