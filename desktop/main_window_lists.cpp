// The main window's three lists: metadata templates, user-named folders and preference sets.

#include "main_window.h"

#include "window_lists.h"

#include <QComboBox>

#include <cerrno>
#include <sys/stat.h>

namespace oakvane {

namespace {

constexpr char kRefresh[] = "[refresh]";
constexpr char kNew[] = "[new...]";

void show_list(QComboBox* combo, const ComboList& list)
{
    combo->clear();
    for (const std::string& entry : list.entries)
        combo->addItem(QString::fromStdString(entry));
    combo->setCurrentIndex(list.selected);
}

}  // namespace

void CMainDlg::FillTemplateCombo()
{
    show_list(m_template, template_list(m_prefs->GetTemplateFolder(), m_prefs->GetTemplate()));
}

void CMainDlg::FillUserFolderCombo()
{
    show_list(m_userFolder, user_folder_list(m_prefs->GetPrimaryFolder(), m_prefs->GetUserFolder()));
    m_prefs->SetUserFolder(m_userFolder->currentText().toStdString());
    m_userFolderName = m_prefs->GetUserFolder();
}

void CMainDlg::OnTemplateChange()
{
    if (m_template->currentIndex() < 0)
        return;
    const std::string entry = m_template->currentText().toStdString();
    if (entry == kRefresh)
        FillTemplateCombo();
    else
        m_prefs->SetTemplate(entry);
}

void CMainDlg::OnUserFolderChange(int index)
{
    if (index < 0)
        return;
    std::string name = m_userFolder->itemText(index).toStdString();
    if (name == kRefresh) {
        FillUserFolderCombo();
        return;
    }
    const bool is_new = name == kNew;
    if (is_new) {
        name = ask_new_name();
        if (name.empty()) {
            select_user_folder_after_cancel();
            return;
        }
        m_userFolder->addItem(QString::fromStdString(name));
        m_userFolder->setCurrentIndex(m_userFolder->count() - 1);
    }
    m_prefs->SetUserFolder(name);
    m_userFolderName = m_prefs->GetUserFolder();
    create_user_folder();
    if (is_new)
        FillUserFolderCombo();
}

// A cancelled "[new...]" goes back to the saved folder, or to the first entry.
void CMainDlg::select_user_folder_after_cancel()
{
    const QString saved = QString::fromStdString(m_prefs->GetUserFolder());
    const int found = saved.isEmpty() ? -1 : m_userFolder->findText(saved, Qt::MatchFixedString);
    m_userFolder->setCurrentIndex(found >= 0 ? found : 0);
}

// Choosing a folder, "My Job" included, makes it exist under the primary folder.
void CMainDlg::create_user_folder()
{
    const std::string path = m_prefs->GetPrimaryFolder() + "/" + m_userFolderName;
    if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST)
        message_box("Can't create folder:" + path);
}

void CMainDlg::fill_pref_set_list()
{
    const SetList list = m_prefs->FillPrefSetCombo(false);
    m_prefSet->clear();
    for (const std::string& entry : list.entries)
        m_prefSet->addItem(QString::fromStdString(entry));
    m_prefSet->setCurrentIndex(list.selected);
}

void CMainDlg::OnPrefSetSelect()
{
    if (m_prefSet->currentIndex() >= 0)
        m_prefs->SwitchPrefSet(m_prefSet->currentText().toStdString());
}

}  // namespace oakvane
