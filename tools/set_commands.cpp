#include "set_commands.h"

#include "engine.h"
#include "ingest_host.h"
#include "pref_keys.h"
#include "pref_values.h"
#include "preferences.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace oakvane {

namespace {

std::vector<std::string> set_names(Preferences& prefs)
{
    return prefs.FillPrefSetCombo(false).entries;
}

std::string remembered_set(Preferences& prefs)
{
    const SetList list = prefs.FillPrefSetCombo(false);
    return list.selected >= 0 ? list.entries[list.selected] : kDefaultSet;
}

bool set_exists(Preferences& prefs, const std::string& name)
{
    const std::vector<std::string> names = set_names(prefs);
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

// Under the refusal's own first line: the sets there are, and how to make another.
void unknown_set(Preferences& prefs, IngestHost& host, const std::string& name)
{
    host.message_box("Can't read Preference Set:" + name + "\nNo preference set is named " +
                     name + ". The sets are: " + joined(set_names(prefs)) +
                     ".\nName one of them (oakvane-ingest --list-sets), or make this one with "
                     "oakvane-ingest --new-set " + name + ".");
}

// Below the store's own refusal and the sets there are: which file, why, and the way round it.
void unreadable_set(IngestHost& host, const std::string& name)
{
    const std::string file = PropRoot().value_or(".") + "/" + kCategory + "/" + name;
    const std::string why = access(file.c_str(), R_OK) == 0 ? "" : std::string(" (") + std::strerror(errno) + ")";
    host.message_box("Its file " + file + " can't be read" + why +
                     ".\nMend its permissions, or use another set with --set NAME.");
}

// The set's own value of key, or none when it holds none. A number stored by a run reads back
// as no text at all, one read from the file as its text: either way the number is the value.
std::optional<std::string> held_value(Preferences& prefs, const PrefKey& key)
{
    constexpr char kAbsent[] = "\x01";
    const std::string text = prefs.GetPrefStr(kProfileSection, key.name, kAbsent);
    if (text == kAbsent)
        return std::nullopt;
    if (key.type == PrefType::Text)
        return text;
    return std::to_string(prefs.GetPrefInt(kProfileSection, key.name, key.number_default));
}

std::string default_text(const PrefKey& key)
{
    return key.type == PrefType::Text ? text_default(key) : std::to_string(key.number_default);
}

// The set a command changes is opened as for a run: the remembered set stays remembered.
bool open_for_change(Preferences& prefs, IngestHost& host, const std::optional<std::string>& name)
{
    return open_set(prefs, host, name, false);
}

}  // namespace

bool open_set(Preferences& prefs, IngestHost& host, const std::optional<std::string>& named,
              bool remember)
{
    const std::string remembered = remembered_set(prefs);
    if (!named) {
        if (prefs.SwitchPrefSet(remembered))
            return true;
        unreadable_set(host, remembered);
        return false;
    }
    if (!set_exists(prefs, *named)) {
        unknown_set(prefs, host, *named);
        return false;
    }
    if (!prefs.SwitchPrefSet(*named)) {
        unreadable_set(host, *named);
        return false;
    }
    if (!remember)
        prefs.SetPrefSetCurrent(remembered);
    return true;
}

int list_sets(Preferences& prefs)
{
    const SetList list = prefs.FillPrefSetCombo(false);
    for (int i = 0; i < static_cast<int>(list.entries.size()); ++i)
        std::printf("%s %s\n", i == list.selected ? "*" : " ", list.entries[i].c_str());
    return 0;
}

int show_set(Preferences& prefs, IngestHost& host, const std::optional<std::string>& name)
{
    if (!open_set(prefs, host, name, false))
        return 1;
    std::printf("Preference Set: %s\n", prefs.CurrentSetName().value_or(kDefaultSet).c_str());
    for (const PrefKey& key : set_keys()) {
        std::optional<std::string> value = held_value(prefs, key);
        // A flag is on unless it reads as 0, whatever else it holds.
        if (value && key.type == PrefType::Flag)
            value = *value == "0" ? "0" : "1";
        // What a run takes: a preview or an arrangement out of range gives way to the default.
        const bool usable = value && !(value_problem(key, *value) &&
                                       (falls_back_to_default(key) || key.type == PrefType::Number));
        std::printf("%s\t%s%s\n", key.name, usable ? value->c_str() : default_text(key).c_str(),
                    usable ? "" : "\t(default)");
    }
    return 0;
}

int new_set(Preferences& prefs, IngestHost& host, const std::string& name,
            const std::optional<std::string>& from)
{
    if (!is_usable_set_name(name)) {
        host.message_box("Can't use Preference Set name:" + name +
                         "\nA name is a file name in the store: not empty, no \"/\", not \".\" or \"..\".");
        return 1;
    }
    if (set_exists(prefs, name)) {
        host.message_box("Preference Set " + name + " exists already; change it with --set " +
                         name + " --set-value KEY=VALUE.");
        return 1;
    }
    const std::string remembered = remembered_set(prefs);
    if (!open_for_change(prefs, host, from))
        return 1;
    host.set_new_set_name(name);
    prefs.OnPrefSetChange("[new...]");
    host.set_new_set_name("");
    const bool made = prefs.CurrentSetName() == name;
    prefs.SetPrefSetCurrent(remembered);
    if (!made)
        return 1;
    std::printf("Made Preference Set %s from %s\n", name.c_str(),
                from.value_or(remembered).c_str());
    return 0;
}

int set_values(Preferences& prefs, IngestHost& host, const std::optional<std::string>& name,
               const std::vector<std::string>& assignments)
{
    struct Change {
        const PrefKey* key;
        std::string value;
    };
    std::vector<Change> changes;
    for (const std::string& assignment : assignments) {
        const std::size_t equals = assignment.find('=');
        const std::string key_name = assignment.substr(0, equals);
        const PrefKey* key = find_pref_key(key_name);
        if (equals == std::string::npos || !key) {
            std::string keys;
            for (const PrefKey& k : set_keys())
                keys += std::string(keys.empty() ? "" : " ") + k.name;
            host.message_box("Can't set " + assignment + ": " +
                             (equals == std::string::npos ? "write it as KEY=VALUE"
                                                          : "no key is named " + key_name) +
                             ".\nThe keys are: " + keys + " (see man oakvane-ingest).");
            return 1;
        }
        const std::string value = assignment.substr(equals + 1);
        // The run would refuse it only after the set was stored: said now instead.
        if (key_name == "StartingNumber" && !parse_starting_number(value)) {
            host.message_box("Can't set StartingNumber to \"" + value +
                             "\": it must be a whole number from 0 to 2147483647.");
            return 1;
        }
        if (const auto why = value_problem(*key, value)) {
            host.message_box("Can't set " + key_name + " to \"" + value + "\": it " + *why + ".");
            return 1;
        }
        changes.push_back({key, value});
    }
    if (!open_for_change(prefs, host, name))
        return 1;
    for (const Change& change : changes) {
        const bool put = change.key->type == PrefType::Text
                             ? prefs.PutPrefStr(kProfileSection, change.key->name, change.value)
                             : prefs.PutPrefInt(kProfileSection, change.key->name,
                                                std::stoi(change.value));
        if (!put) {
            host.message_box(std::string("Can't write profile string ") + change.key->name);
            return 1;
        }
    }
    return prefs.SavePreferences() ? 0 : 1;
}

int select_set(Preferences& prefs, IngestHost& host, const std::string& name)
{
    if (!open_set(prefs, host, name, true))
        return 1;
    return prefs.GetPrefSetCurrent() == name ? 0 : 1;
}

}  // namespace oakvane
