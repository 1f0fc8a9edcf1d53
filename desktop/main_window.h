#pragma once
// The main window: the card state, the choices that vary from run to run (preference set,
// metadata template, user-named folder, starting number), Start and Eject, and the output list
// in which the engine and the window write their lines. It is the host of the Start command,
// of the preferences, of card detection and of the update check.

#include "card_detector.h"
#include "preferences.h"
#include "run_gate.h"
#include "run_report.h"
#include "start_run.h"
#include "update_check.h"

#include <QDialog>

#include <memory>
#include <string>
#include <string_view>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace oakvane {

class CPreferencesDlg;
class EjectJob;
class ElidingLabel;
class OutputList;
struct EjectReport;

class CMainDlg : public QDialog,
                 public StartHost,
                 public PrefsHost,
                 public CardView,
                 public UpdateHost {
    Q_OBJECT
public:
    struct Options {
        // The volumes card detection looks at; the running system's when none is given.
        std::unique_ptr<VolumeSource> volumes;
        // What tells of changes to those volumes; the running system's mount table when none
        // is given.
        std::unique_ptr<MountMonitor> mounts;
        // Where the preferences live; the user's configuration folder when none is given.
        std::optional<PrefsLocation> where;
        // The card folder of the first Start (from the command line); the card choice's
        // otherwise. It starts a run by itself only when Auto Ingest is on.
        std::optional<std::string> card;
    };

    explicit CMainDlg(Options options = {});
    ~CMainDlg() override;

    // Start-up, in this order: the preferences, the update check, the warranty notice, the
    // first card scan, the window's lists and the current set. False when the preferences
    // could not be started; the program then ends.
    bool OnInitDialog();

    void ApplyPreferencesToWindow();
    void FillTemplateCombo();
    void FillUserFolderCombo();

    void OnStart();
    void OnEject();
    void OnPreferences();
    void OnCheckForUpdate();
    void OnWebSite();
    void OnAbout();

    // StartHost (also the output list and message boxes of the other hosts)
    void clear_output() override;
    void output_text(std::string_view text) override;
    void set_main_status(std::string_view text) override;
    void set_buttons(bool start_enabled, bool eject_enabled) override;
    bool starting_number_enabled() override;
    std::string starting_number_text() override;
    void set_starting_number_text(const std::string& text) override;
    DetectedCard detected_card() override;
    std::string user_folder_name() override { return m_userFolderName; }
    CardAnswer choose_card(const std::string& card_name) override;
    std::optional<std::string> browse_for_folder(const std::string& title) override;
    std::optional<BackupAnswer> choose_backup(const std::string& backup_folder,
                                              const std::string& previous_folder) override;
    RunResult run_with_progress(const RunRequest& request) override;
    void message_box(const std::string& text) override;
    bool launch_viewer(const std::string& program, const std::vector<std::string>& arguments) override;
    void eject_card() override;
    void beep() override;

    // PrefsHost
    bool ask_yes_no(const std::string& text) override;
    std::string ask_new_name() override;
    void preferences_switched(const std::string& set_name) override;
    void pref_sets_changed() override;
    // In the output list, not a box: a start-up would otherwise open one box per mistake.
    void set_warning(const std::string& text) override { output_text(text); }

    // CardView
    void set_card_text(std::string_view text) override;
    void set_eject_enabled(bool enabled) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int result) override;

private:
    void build_controls();
    void lay_out_controls();
    void connect_controls();
    void write_warranty();
    void start_card_detection();
    void fill_pref_set_list();
    QWidget* dialog_parent();
    void write_run_report(const RunRecord& record);
    bool held_run_still_wanted(const std::string& card);
    void store_starting_number();
    void eject_finished(const EjectReport& report);
    void grow_for_card_text();

    void OnTemplateChange();
    void OnUserFolderChange(int index);
    void OnPrefSetSelect();
    void select_user_folder_after_cancel();
    void create_user_folder();

    Options m_options;
    std::unique_ptr<Preferences> m_prefs;
    std::unique_ptr<StartCommand> m_start;
    std::unique_ptr<CardDetector> m_detector;
    RunGate m_gate;
    CPreferencesDlg* m_prefsDlg = nullptr;
    bool m_closed = false;
    // The user-named folder of the next run, as the list shows it; empty when it is not used.
    std::string m_userFolderName;
    EjectJob* m_eject = nullptr;
    QString m_statusBeforeEject;

    QLabel* m_status;
    QPushButton* m_startButton;
    QLabel* m_startAuto;
    ElidingLabel* m_cardText;
    QPushButton* m_ejectButton;
    QLabel* m_ejectAuto;
    QPushButton* m_prefsButton;
    QPushButton* m_updateButton;
    QPushButton* m_webButton;
    QPushButton* m_aboutButton;
    QPushButton* m_exitButton;
    QLabel* m_templateLabel;
    QComboBox* m_template;
    QLabel* m_userFolderLabel;
    QComboBox* m_userFolder;
    QLabel* m_prefSetLabel;
    QComboBox* m_prefSet;
    QLabel* m_numberLabel;
    QLineEdit* m_startingNumber;
    OutputList* m_output;
};

}  // namespace oakvane
