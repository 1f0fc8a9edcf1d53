#pragma once
// The preference model: every preference key with its default, read from and written to the
// current preference set of the property-set store (category "Main"), plus the three values
// that live only in the application profile (<config>/Oakvane/Oakvane.ini, section "App").
// Works without a display; the preferences dialog and the main window display it.

#include "profile.h"
#include "proper.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QSettings;

namespace oakvane {

// Where the preferences live. default_location() follows the XDG configuration folder.
struct PrefsLocation {
    std::string root;             // store root: <config>/Oakvane (or ./Oakvane)
    std::string profile_path;     // <config>/Oakvane/Oakvane.ini
    std::string template_folder;  // <config>/Oakvane/Metadata Templates (or ".")
};
PrefsLocation default_location();

// What the model needs from whoever displays it. The desktop application answers with message
// boxes and its windows; tests record; the command line prints.
class PrefsHost {
public:
    virtual ~PrefsHost() = default;
    virtual void message_box(const std::string& text) = 0;
    virtual bool ask_yes_no(const std::string& text) = 0;
    // The new-name question: the name entered, or "" when cancelled.
    virtual std::string ask_new_name() = 0;
    // The current set changed (switch, new, delete): windows reload their fields and lists.
    virtual void preferences_switched(const std::string& /*set_name*/) {}
    // A set was created or deleted: windows refill their set lists (FillPrefSetCombo). Comes
    // before the switch to the new current set, and also when that switch fails.
    virtual void pref_sets_changed() {}
    // A set just read holds something the dialog would never have stored; the line says what
    // and which value is used instead. Said once per problem.
    virtual void set_warning(const std::string& text) { message_box(text); }
};

// A set list as a combo box shows it.
struct SetList {
    std::vector<std::string> entries;
    int selected = -1;
};

class Preferences {
public:
    Preferences(PrefsHost& host, PrefsLocation where = default_location());
    ~Preferences();  // writes the current set if it has unsaved changes
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    // Start-up: opens the store, converts the profile into "Default" on the first start,
    // repairs a missing "Default" and opens it. False after a fatal failure, whose message has
    // been shown through the host: the program then ends with exit status 1.
    bool InitPreferences();

    // Generic accessors; section is "App".
    std::string GetPrefStr(const std::string& section, const std::string& key,
                           const std::string& dflt) const;
    int GetPrefInt(const std::string& section, const std::string& key, int dflt) const;
    bool PutPrefStr(const std::string& section, const std::string& key, const std::string& value);
    bool PutPrefInt(const std::string& section, const std::string& key, int value);
    // Writes the current set; "Can't save preferences" on failure.
    bool SavePreferences();
    // Writes the current set if it has unsaved changes, without a message: a failure is only on
    // the error trace, and the set stays modified to be written at the next opportunity.
    bool WritePrefSet();

    std::string GetCardFolder() const;
    std::string GetBackupFolder() const;
    std::string GetPrimaryFolder() const;
    std::string GetViewerApp() const;
    std::string GetConverterApp() const;
    std::string GetUserFolder() const;
    std::string GetStartingNumber() const;
    std::string GetTemplate() const;
    std::string GetPreview() const;
    std::string GetReportFolder() const;  // "" when no report is to be written
    std::string GetNamePfx() const;
    std::string GetNameText2() const;
    std::string GetNameText3() const;
    std::string GetNameText4() const;
    std::string GetNameFmt() const;
    bool GetKeepRaw() const;
    bool GetEmbed() const;
    bool GetVerifyOnly() const;
    bool GetWantDateFolders() const;
    bool GetWantUserFolder() const;
    bool GetWantRangeFolder() const;
    bool GetAutoIngest() const;
    bool GetAutoEject() const;
    bool GetSound() const;
    bool GetReadBack() const;
    bool GetDecodeRaws() const;
    int GetArrangement() const;

    // Puts that show "Can't write profile string" when they fail.
    void SetUserFolder(const std::string& name);
    void SetStartingNumber(const std::string& number);
    void SetTemplate(const std::string& name);

    // Profile-only values.
    bool GetUpdateCheck() const;
    void SetUpdateCheck(bool on);
    std::string GetUpdateCheckDate() const;
    void SetUpdateCheckDate();  // now, local time, "%Y-%m-%d %H:%M:%S"
    std::string GetPrefSetCurrent() const;
    void SetPrefSetCurrent(const std::string& name);

    std::string GetTemplateFolder() const;

    // Preference sets.
    // The set list of the main window, or of the preferences dialog (with "[new...]" and
    // "[delete]"), with the entry of PrefSetCurrent selected.
    SetList FillPrefSetCombo(bool dialog_list);
    // Makes the named set current; false (after "Can't read Preference Set:<name>") when it
    // cannot be read, in which case the previous set stays current.
    bool SwitchPrefSet(const std::string& name);
    // The dialog list's handler for a chosen entry: a set name, "[new...]" or "[delete]".
    void OnPrefSetChange(const std::string& entry);
    // The current set's name, or none.
    std::optional<std::string> CurrentSetName() const;
    // After a set was created or deleted: the lists are refilled (pref_sets_changed), then the
    // named set is made current.
    void RebuildPrefSetLists(const std::string& name);

private:
    std::string StrPref(const std::string& key) const;
    int IntPref(const std::string& key) const;
    bool FlagPref(const std::string& key) const { return IntPref(key) != 0; }
    void ComplainUnless(bool ok);

    bool OpenDefaultSet();
    bool ConvertProfile();
    bool PutConverted(const std::string& key);

    bool OpenAsCurrent(const std::string& name);
    void WarnAboutSet(const std::string& name);
    void NewPrefSet();
    void DeletePrefSet();

    PrefsHost& m_host;
    PrefsLocation m_where;
    Profile m_profile;
    // The current set. It is only ever replaced by a set that could be opened, so after a
    // successful start-up the accessors always have one.
    PropSetPtr m_propset;
    // False from construction until the first set has been stored; meanwhile the accessors
    // read the old profile values (under their profile names) instead of a set.
    bool m_prefSetsExist = false;
    std::set<std::string> m_warned;  // the set problems already said
};

// The entry a combo box selects for name: the first entry, searching from the second and
// wrapping around to the first, that begins with name, ignoring case; -1 when none does.
int find_prefix_entry(const std::vector<std::string>& entries, const std::string& name);

// The entry a set list selects for a set name: the entry equal to the name, else the prefix
// search above; when neither finds one, the same for "Default"; -1 when nothing fits. The exact
// match comes first so that "Default" is not taken for "Default2".
int SelectPrefSetEntry(const std::vector<std::string>& entries, const std::string& name);

// Whether a name entered for a new set can be a set's file name in the store's folder.
bool is_usable_set_name(const std::string& name);

}  // namespace oakvane
