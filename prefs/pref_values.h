#pragma once
// Which values a set key can hold: the rules the preferences dialog keeps by offering only
// those, applied to values typed on the command line or edited into a set file by hand.

#include "pref_keys.h"

#include <optional>
#include <string>
#include <vector>

namespace oakvane {

// Why value cannot be key's value (with the values it can take), or none when it can.
std::optional<std::string> value_problem(const PrefKey& key, const std::string& value);

// Whether a value out of range is replaced by the key's default when read. Other keys are
// taken as they always were (a name format keeps letters the dialog doesn't offer; a flag
// is on unless 0; the run settles an arrangement out of range).
bool falls_back_to_default(const PrefKey& key);

// The set key of that name, or none.
const PrefKey* find_pref_key(const std::string& name);

// What is wrong in a set file's text, one problem a line: lines without a TAB between key and
// value, unknown keys and values out of range, each with what is used instead.
std::vector<std::string> set_text_problems(const std::string& text);

}  // namespace oakvane
