// NOTE TO THE DEVELOPER OF THIS FILE: read /tmp/briefs/rules.md (the house rules) before you write anything; remove this line.
#include "preferences_dialog.h"

namespace oakvane {

CPreferencesDlg::CPreferencesDlg(Preferences& prefs, std::function<void()> apply_to_window,
                                 QWidget* parent)
    : QDialog(parent), m_prefs(prefs), m_apply_to_window(std::move(apply_to_window))
{
}

CPreferencesDlg::~CPreferencesDlg() = default;

void CPreferencesDlg::on_preferences_switched(const std::string&) {}
void CPreferencesDlg::on_pref_sets_changed() {}

}  // namespace oakvane
