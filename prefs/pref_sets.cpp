#include "preferences.h"

#include "pref_keys.h"
#include "pref_values.h"
#include "set_names.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace oakvane {

namespace {
constexpr char kNewEntry[] = "[new...]";
constexpr char kDeleteEntry[] = "[delete]";
}  // namespace

SetList Preferences::FillPrefSetCombo(bool dialog_list)
{
    SetList list;
    list.entries.push_back(kDefaultSet);
    std::vector<std::string> names;
    const bool listed = list_set_names(names);
    for (const std::string& name : names)
        if (name != kDefaultSet)
            list.entries.push_back(name);
    if (!listed)
        m_host.message_box("Error accessing Preference Set names");
    if (dialog_list) {
        list.entries.push_back(kNewEntry);
        list.entries.push_back(kDeleteEntry);
    }
    list.selected = SelectPrefSetEntry(list.entries, GetPrefSetCurrent());
    return list;
}

bool Preferences::SwitchPrefSet(const std::string& name)
{
    const bool written = !m_propset || PropWrite(*m_propset);  // a failure is on the trace
    // Reading the current set back after its changes could not be written would show the old
    // file while the changes stay in memory, to be written over it later: keep the set as it is.
    if (!written && m_propset->setname == name) {
        SetPrefSetCurrent(name);
        m_host.preferences_switched(name);
        return true;
    }
    // The set is left for good and its changes with it: the user has to hear of that.
    if (!written)
        m_host.message_box("Can't save preferences");
    return OpenAsCurrent(name);
}

// The previous set is given up only once the named one has been read, so that a set that
// cannot be read leaves the preferences as they were instead of without any set.
bool Preferences::OpenAsCurrent(const std::string& name)
{
    PropSetPtr opened = PropOpen(kCategory, name);
    if (!opened) {
        // Below the refusal's own line: the sets there are, so that another can be chosen.
        std::vector<std::string> names;
        list_set_names(names);
        std::string there;
        for (const std::string& set : names)
            there += (there.empty() ? "" : ", ") + set;
        m_host.message_box("Can't read Preference Set:" + name + "\nThe sets there are: " +
                           (there.empty() ? "none" : there) + ". Choose one of them, or make a new one.");
        return false;
    }
    if (m_propset)
        PropClose(*m_propset);
    m_propset = std::move(opened);
    WarnAboutSet(name);
    // Recorded first: a window that refills its set list while it reloads selects by it.
    SetPrefSetCurrent(name);
    m_host.preferences_switched(name);
    return true;
}

// Read from the file itself: the store skips what it cannot parse without a word.
void Preferences::WarnAboutSet(const std::string& name)
{
    std::ifstream file(std::filesystem::path(m_where.root) / kCategory / name, std::ios::binary);
    if (!file)
        return;  // the store has just read it: a race with an editor, nothing to warn of
    std::ostringstream text;
    text << file.rdbuf();
    for (const std::string& problem : set_text_problems(text.str())) {
        std::string line = "Preference Set " + name + ", " + problem;
        if (m_warned.insert(line).second)
            m_host.set_warning(line);
    }
}

void Preferences::RebuildPrefSetLists(const std::string& name)
{
    m_host.pref_sets_changed();
    SwitchPrefSet(name);
}

void Preferences::OnPrefSetChange(const std::string& entry)
{
    if (entry == kNewEntry)
        NewPrefSet();
    else if (entry == kDeleteEntry)
        DeletePrefSet();
    else
        SwitchPrefSet(entry);
}

// The current set, with its unsaved changes, is copied under the new name and the copy becomes
// current; the set under the old name gets those changes too.
void Preferences::NewPrefSet()
{
    const std::string name = m_host.ask_new_name();
    if (name.empty() || !m_propset)
        return;
    if (!is_usable_set_name(name)) {
        m_host.message_box("Can't use Preference Set name:" + name);
        return;
    }
    PropWrite(*m_propset);
    const std::optional<std::string> old_name = m_propset->setname;
    if (!PropSaveAs(*m_propset, name)) {
        // Going on would open an older set of that name, or none, as if the copy existed.
        m_propset->setname = old_name;
        m_host.message_box("Can't save Preference Set:" + name);
        return;
    }
    RebuildPrefSetLists(name);
}

void Preferences::DeletePrefSet()
{
    const std::string name = GetPrefSetCurrent();
    if (!m_propset || m_propset->setname != name) {
        m_host.message_box("Can't delete -- not the current set.");
        return;
    }
    if (name == kDefaultSet) {
        m_host.message_box("Can't delete Default preference set.");
        return;
    }
    if (!m_host.ask_yes_no("Delete Preference Set: " + name))
        return;
    PropClose(*m_propset);
    if (!PropDelete(kCategory, name)) {
        m_host.message_box("Can't delete Preference Set:" + name);
        return;
    }
    // The deleted set is never written again: that would bring its file back.
    PropSetPtr deleted = std::move(m_propset);
    m_host.pref_sets_changed();
    if (OpenAsCurrent(kDefaultSet))
        return;
    // "Default" cannot be read (its message has been shown). Its values stay in use, but
    // unnamed: such a set is never written, so nothing brings the deleted file back, and the
    // user can still keep them under a new name. Stopping the program instead would lose them,
    // and an empty set would silently put every default in their place.
    deleted->setname.reset();
    m_propset = std::move(deleted);
}

}  // namespace oakvane
