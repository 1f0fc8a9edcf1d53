#pragma once
// The question when the backup folder cannot be reached: stop, use the folder picked last
// time, or pick one now.

#include "start_run.h"

#include <QDialog>

#include <string>

namespace oakvane {

class CChooseBackupDlg : public QDialog {
    Q_OBJECT
public:
    // "Use Previous Folder" is offered only when previous_folder is not empty.
    CChooseBackupDlg(QWidget* parent, const std::string& backup_folder,
                     const std::string& previous_folder);

    // Stop also after Escape or closing the window.
    BackupAnswer m_answer = BackupAnswer::Stop;
};

BackupAnswer ask_choose_backup(QWidget* parent, const std::string& backup_folder,
                               const std::string& previous_folder);

}  // namespace oakvane
