#include "preferences.h"

#include "pref_keys.h"
#include "pref_values.h"

#include <ctime>

namespace oakvane {

namespace {
constexpr char kCantWrite[] = "Can't write profile string";
}

Preferences::Preferences(PrefsHost& host, PrefsLocation where)
    : m_host(host), m_where(std::move(where)), m_profile(m_where.profile_path)
{
}

Preferences::~Preferences()
{
    if (m_propset)
        PropClose(*m_propset);
    PropTerm();
}

std::string Preferences::GetPrefStr(const std::string& section, const std::string& key,
                                    const std::string& dflt) const
{
    if (!m_prefSetsExist)
        return m_profile.read_plain(section, ProfileKeyName(key)).value_or(dflt);
    if (!m_propset)
        return dflt;
    // An integer value has no text.
    return PropGetStr(*m_propset, key, 0, dflt).value_or("");
}

int Preferences::GetPrefInt(const std::string& section, const std::string& key, int dflt) const
{
    if (!m_prefSetsExist)
        return number_or(m_profile.read_plain(section, ProfileKeyName(key)), dflt);
    return m_propset ? PropGetInt(*m_propset, key, 0, dflt) : dflt;
}

bool Preferences::PutPrefStr(const std::string&, const std::string& key, const std::string& value)
{
    return m_propset && PropPutStr(*m_propset, key, 0, value);
}

bool Preferences::PutPrefInt(const std::string&, const std::string& key, int value)
{
    return m_propset && PropPutInt(*m_propset, key, 0, value);
}

bool Preferences::SavePreferences()
{
    if (m_propset && PropWrite(*m_propset))
        return true;
    m_host.message_box("Can't save preferences");
    return false;
}

bool Preferences::WritePrefSet()
{
    return m_propset && PropWrite(*m_propset);
}

// A preview switch the dialog could not have stored (a set edited by hand) would reach the
// converter: the default takes its place, as the warning given when the set was read says.
std::string Preferences::StrPref(const std::string& key) const
{
    const PrefKey& about = pref_key(key);
    const std::string value = GetPrefStr(kProfileSection, key, text_default(about));
    return falls_back_to_default(about) && value_problem(about, value) ? text_default(about) : value;
}

int Preferences::IntPref(const std::string& key) const
{
    return GetPrefInt(kProfileSection, key, pref_key(key).number_default);
}

void Preferences::ComplainUnless(bool ok)
{
    if (!ok)
        m_host.message_box(kCantWrite);
}

std::string Preferences::GetCardFolder() const { return StrPref("CardFolder"); }
std::string Preferences::GetBackupFolder() const { return StrPref("BackupFolder"); }
std::string Preferences::GetPrimaryFolder() const { return StrPref("PrimaryFolder"); }
std::string Preferences::GetViewerApp() const { return StrPref("ViewerApp"); }
std::string Preferences::GetConverterApp() const { return StrPref("ConverterApp"); }
std::string Preferences::GetUserFolder() const { return StrPref("UserFolder"); }
std::string Preferences::GetStartingNumber() const { return StrPref("StartingNumber"); }
std::string Preferences::GetTemplate() const { return StrPref("Template"); }
std::string Preferences::GetPreview() const { return StrPref("Preview"); }
std::string Preferences::GetReportFolder() const { return StrPref("ReportFolder"); }
std::string Preferences::GetNamePfx() const { return StrPref("NamePfx"); }
std::string Preferences::GetNameText2() const { return StrPref("NameText2"); }
std::string Preferences::GetNameText3() const { return StrPref("NameText3"); }
std::string Preferences::GetNameText4() const { return StrPref("NameText4"); }
std::string Preferences::GetNameFmt() const { return StrPref("NameFmt"); }
bool Preferences::GetKeepRaw() const { return FlagPref("KeepRaw"); }
bool Preferences::GetEmbed() const { return FlagPref("Embed"); }
bool Preferences::GetVerifyOnly() const { return FlagPref("VerifyOnly"); }
bool Preferences::GetWantDateFolders() const { return FlagPref("WantDateFolders"); }
bool Preferences::GetWantUserFolder() const { return FlagPref("WantUserFolder"); }
bool Preferences::GetWantRangeFolder() const { return FlagPref("WantRangeFolder"); }
bool Preferences::GetAutoIngest() const { return FlagPref("AutoIngest"); }
bool Preferences::GetAutoEject() const { return FlagPref("AutoEject"); }
bool Preferences::GetSound() const { return FlagPref("Sound"); }
bool Preferences::GetReadBack() const { return FlagPref("ReadBack"); }
bool Preferences::GetDecodeRaws() const { return FlagPref("DecodeRaws"); }
int Preferences::GetArrangement() const { return IntPref("Arrangement"); }

void Preferences::SetUserFolder(const std::string& name)
{
    ComplainUnless(PutPrefStr(kProfileSection, "UserFolder", name));
}

void Preferences::SetStartingNumber(const std::string& number)
{
    ComplainUnless(PutPrefStr(kProfileSection, "StartingNumber", number));
}

void Preferences::SetTemplate(const std::string& name)
{
    ComplainUnless(PutPrefStr(kProfileSection, "Template", name));
}

// Off unless turned on: on Linux updates come from the distribution, and the weekly question
// would go to an address nobody answers.
bool Preferences::GetUpdateCheck() const
{
    return number_or(m_profile.read(kProfileSection, kUpdateCheck), 0) != 0;
}

void Preferences::SetUpdateCheck(bool on)
{
    ComplainUnless(m_profile.write_int(kProfileSection, kUpdateCheck, on ? 1 : 0));
}

std::string Preferences::GetUpdateCheckDate() const
{
    return m_profile.read(kProfileSection, kUpdateCheckDate).value_or(kUpdateCheckDateDefault);
}

void Preferences::SetUpdateCheckDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[32] = "";
    if (!localtime_r(&now, &local) ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) {
        m_host.message_box(kCantWrite);
        return;
    }
    ComplainUnless(m_profile.write_string(kProfileSection, kUpdateCheckDate, text));
}

std::string Preferences::GetPrefSetCurrent() const
{
    return m_profile.read(kProfileSection, kPrefSetCurrent).value_or(kDefaultSet);
}

void Preferences::SetPrefSetCurrent(const std::string& name)
{
    ComplainUnless(m_profile.write_string(kProfileSection, kPrefSetCurrent, name));
}

std::string Preferences::GetTemplateFolder() const { return m_where.template_folder; }

std::optional<std::string> Preferences::CurrentSetName() const
{
    return m_propset ? m_propset->setname : std::nullopt;
}

}  // namespace oakvane
