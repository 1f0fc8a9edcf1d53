#include "preferences.h"

#include "pref_keys.h"
#include "set_names.h"

#include <algorithm>
#include <filesystem>

namespace oakvane {

bool Preferences::InitPreferences()
{
    // The store makes its own folder, not the configuration folder above it, which a fresh
    // account may not have yet. A failure here shows up as the store's own failure below.
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(m_where.root).parent_path(), ignored);
    if (!PropInit(m_where.root))
        m_host.message_box("PropInit failed");  // not fatal: the steps below report their own
    // A "Default" file that the listing missed (a folder that cannot be listed) is not a first
    // start: converting would write the profile's values over the user's set.
    const std::filesystem::path default_file =
        std::filesystem::path(m_where.root) / kCategory / kDefaultSet;
    m_prefSetsExist = PropSetCount(kCategory) > 0 ||
                      std::filesystem::exists(std::filesystem::symlink_status(default_file, ignored));
    return m_prefSetsExist ? OpenDefaultSet() : ConvertProfile();
}

// Opens "Default", creating it empty when it is missing. A "Default" that exists but cannot be
// read is left alone and start-up fails: replacing it would throw the user's values away.
bool Preferences::OpenDefaultSet()
{
    m_propset = PropOpen(kCategory, std::string(kDefaultSet));
    if (m_propset) {
        WarnAboutSet(kDefaultSet);
        return true;
    }
    std::vector<std::string> names;
    const bool missing = list_set_names(names) &&
                         std::find(names.begin(), names.end(), kDefaultSet) == names.end();
    if (missing) {
        m_propset = PropOpen(kCategory, std::nullopt);
        if (m_propset && PropSaveAs(*m_propset, kDefaultSet))
            return true;
    }
    m_host.message_box("Can't initialize properties at startup");
    return false;
}

// The first start: the values of the old profile become the "Default" set.
bool Preferences::ConvertProfile()
{
    m_propset = PropOpen(kCategory, std::nullopt);
    if (!m_propset) {
        m_host.message_box("Can't initialize properties for conversion");
        return false;
    }
    for (const PrefKey& key : set_keys()) {
        if (key.converted && !PutConverted(key.name)) {
            m_host.message_box("Can't set properties for conversion");
            return false;
        }
    }
    if (!PropSaveAs(*m_propset, kDefaultSet)) {
        m_host.message_box("Can't store initial properties for conversion");
        return false;
    }
    m_prefSetsExist = true;
    return true;
}

// Reads the key as its typed accessor does (from the profile, at this point) and puts it into
// the new set: text as text, flags as 0 or 1, the arrangement as its number.
bool Preferences::PutConverted(const std::string& key)
{
    switch (pref_key(key).type) {
    case PrefType::Text:
        return PutPrefStr(kProfileSection, key, StrPref(key));
    case PrefType::Flag:
        return PutPrefInt(kProfileSection, key, FlagPref(key) ? 1 : 0);
    case PrefType::Number:
        return PutPrefInt(kProfileSection, key, IntPref(key));
    }
    return false;
}

}  // namespace oakvane
