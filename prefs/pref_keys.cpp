#include "pref_keys.h"

#include <QDir>
#include <QStandardPaths>

#include <cstring>
#include <stdexcept>

namespace oakvane {

namespace {

constexpr PrefKey text(const char* name, const char* dflt) { return {name, PrefType::Text, dflt, 0, true}; }
constexpr PrefKey flag(const char* name, int dflt) { return {name, PrefType::Flag, nullptr, dflt, true}; }

// On Linux no DNG converter is installed by default, so the converter path is empty and
// running it is off until the user names one.
constexpr std::array<PrefKey, kSetKeyCount> kKeys = {{
    text("CardFolder", "[user choice]"),
    text("BackupFolder", nullptr),
    text("PrimaryFolder", nullptr),
    text("ViewerApp", "[none]"),
    text("ConverterApp", ""),
    flag("KeepRaw", 0),
    flag("VerifyOnly", 0),
    flag("Embed", 0),
    {"Arrangement", PrefType::Number, nullptr, 2, true},
    text("NamePfx", "IMG"),
    text("NameText2", ""),
    text("NameText3", ""),
    text("NameText4", ""),
    text("NameFmt", "SDNE"),
    text("Preview", "-p0"),
    flag("AutoIngest", 0),
    flag("AutoEject", 0),
    text("Template", "[none]"),
    flag("WantDateFolders", 1),
    flag("WantUserFolder", 0),
    flag("WantRangeFolder", 0),
    text("UserFolder", "My Job"),
    text("StartingNumber", "1"),
    {"Sound", PrefType::Flag, nullptr, 1, false},
    // Where each run writes its report; empty writes none.
    {"ReportFolder", PrefType::Text, "", 0, false},
    // Whether every copy is read back from the disk and compared with the card.
    {"ReadBack", PrefType::Flag, nullptr, 1, false},
    // Whether raws copied as they are get unpacked whole by the raw decoder.
    {"DecodeRaws", PrefType::Flag, nullptr, 1, false},
}};

struct Rename {
    const char* key;
    const char* profile_name;
};
constexpr Rename kProfileNames[] = {
    {"Embed", "EmbedRaw"},
    {"WantDateFolders", "DateFolders"},
    {"WantUserFolder", "UserFolder"},
    {"WantRangeFolder", "RangeFolder"},
    {"UserFolder", "UserFolderName"},
};

}  // namespace

const std::array<PrefKey, kSetKeyCount>& set_keys() { return kKeys; }

const PrefKey& pref_key(const std::string& name)
{
    for (const PrefKey& key : kKeys)
        if (name == key.name)
            return key;
    throw std::logic_error("not a preference key: " + name);
}

std::string text_default(const PrefKey& key)
{
    if (key.text_default)
        return key.text_default;
    if (std::strcmp(key.name, "BackupFolder") == 0)
        return (QDir::homePath() + "/OakvaneBackup").toStdString();
    return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation).toStdString();
}

std::string ProfileKeyName(const std::string& key)
{
    for (const Rename& r : kProfileNames)
        if (key == r.key)
            return r.profile_name;
    return key;
}

}  // namespace oakvane
