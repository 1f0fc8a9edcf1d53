#pragma once
// The preferences dialog: edits the current preference set. Every change is stored in the set
// at once and the dialog then reloads all its controls; there is no Cancel. The set is written
// to its file when the dialog closes.

#include <QDialog>

#include <functional>
#include <memory>
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

    // Sets the dialog up before it first appears, as a dialog initialises before it is drawn.
    void setVisible(bool visible) override;
    // Every way of ending the dialog stores a typed but unstored text and writes the set.
    void done(int result) override;

private:
    struct Controls;

    void BuildControls();
    void ConnectControls();
    void SetUp();
    void FitToScreen();
    void RefreshControls();
    void RefreshNameFields(const std::string& format);
    void RefreshArrangement();

    void PutStr(const char* key, const std::string& value);
    void PutInt(const char* key, int value);
    void ComplainCantWrite();
    void StoreNameText(int field);
    void StoreReportFolder();
    void StorePendingEdits();
    std::string NameFmtFromLists() const;

    void OnChooseCard();
    void OnChooseFolder(const char* key, const char* title, const std::string& current);
    void OnChooseViewer();
    void OnChooseConverter();
    void OnPreview(int index);
    void OnNameFmt();
    void OnArrangement(int arrangement);
    void OnPrefSetChange(int index);
    void OnClose();

    Preferences& m_prefs;
    std::function<void()> m_apply_to_window;
    std::unique_ptr<Controls> m_controls;
    bool m_setUp = false;
    // An edit's text is being stored: the message box of a failed put takes the focus from the
    // edit, which must not store it a second time.
    bool m_storingText = false;
    // The controls are being set from the set: their changes are no user's, and store nothing.
    bool m_refreshing = false;
};

}  // namespace oakvane
