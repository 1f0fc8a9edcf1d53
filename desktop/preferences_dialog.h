#pragma once
// The preferences dialog: edits the current preference set. Every change is stored in the set
// at once and the dialog then reloads all its controls; there is no Cancel. The set is written
// to its file when the dialog closes.

#include <QDialog>

#include <functional>
#include <string>

namespace oakvane {

class Preferences;

class CPreferencesDlg : public QDialog {
    Q_OBJECT
public:
    // apply_to_window is the main window's ApplyPreferencesToWindow, run at the end of every
    // refresh. The dialog sets itself up when it is first shown (exec or show): the three-letter
    // name format gains its leading text field, the set list is filled and the current set is
    // switched to, which ends in on_preferences_switched.
    CPreferencesDlg(Preferences& prefs, std::function<void()> apply_to_window,
                    QWidget* parent = nullptr);
    ~CPreferencesDlg() override;

    // The current set changed while the dialog is open (switch, new, delete): select it in the
    // dialog's set list, reload every control and show its name in the title.
    void on_preferences_switched(const std::string& set_name);
    // Sets were created or deleted: refill the dialog's set list.
    void on_pref_sets_changed();

private:
    struct Controls;
    Preferences& m_prefs;
    std::function<void()> m_apply_to_window;
    Controls* m_controls = nullptr;
};

}  // namespace oakvane
