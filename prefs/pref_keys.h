#pragma once
// The keys of a preference set with their types and defaults, and the names under which the
// application profile kept them before preference sets existed.

#include <array>
#include <string>

namespace oakvane {

enum class PrefType { Text, Flag, Number };

struct PrefKey {
    const char* name;
    PrefType type;
    const char* text_default;  // Text keys; nullptr where the default depends on the machine
    int number_default;        // Flag and Number keys
    bool converted;            // copied from the profile on the first start
};

// Every key kept in a set, in the order the first start converts them. Sound, ReportFolder,
// ReadBack and DecodeRaws come last: they were never converted, so a converted set has no
// value for them until the dialog stores one. The last three are newer than the profile and
// have no old name at all.
inline constexpr int kSetKeyCount = 27;
const std::array<PrefKey, kSetKeyCount>& set_keys();

// The table entry of a set key; the program's own key names only (anything else is a bug).
const PrefKey& pref_key(const std::string& name);

// The default of a Text key, including those that depend on the home and pictures folders.
std::string text_default(const PrefKey& key);

// The profile name of a set key: five keys were named differently in the profile.
std::string ProfileKeyName(const std::string& key);

// The values that only ever live in the profile.
inline constexpr char kProfileSection[] = "App";
inline constexpr char kUpdateCheck[] = "UpdateCheck";
inline constexpr char kUpdateCheckDate[] = "UpdateCheckDate";
inline constexpr char kUpdateCheckDateDefault[] = "1970-01-01 01:01:01";
inline constexpr char kPrefSetCurrent[] = "PrefSetCurrent";

// The store's category of preference sets and the set that always exists.
inline constexpr char kCategory[] = "Main";
inline constexpr char kDefaultSet[] = "Default";

}  // namespace oakvane
