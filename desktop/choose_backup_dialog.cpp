#include "choose_backup_dialog.h"

#include "wrapped_text.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace oakvane {

CChooseBackupDlg::CChooseBackupDlg(QWidget* parent, const std::string& backup_folder,
                                   const std::string& previous_folder)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Choose Backup Folder"));
    setObjectName(QStringLiteral("CChooseBackupDlg"));
    const QString first_text =
        QStringLiteral("Can't access main backup folder %1").arg(QString::fromStdString(backup_folder));
    auto* first = wrapped_label(first_text, this);
    auto* second = wrapped_label(QString(), this);
    first->setObjectName(QStringLiteral("firstLine"));
    second->setObjectName(QStringLiteral("secondLine"));
    second->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* choose = new QPushButton(QStringLiteral("&Choose Folder..."), this);
    auto* stop = new QPushButton(QStringLiteral("&Stop Ingestion"), this);
    auto* previous = new QPushButton(QStringLiteral("&Use Previous Folder"), this);
    choose->setObjectName(QStringLiteral("chooseFolder"));
    stop->setObjectName(QStringLiteral("stopIngestion"));
    previous->setObjectName(QStringLiteral("usePrevious"));
    QString second_text;
    if (previous_folder.empty()) {
        previous->hide();
    } else {
        second_text = QStringLiteral("Use previous folder %1?").arg(QString::fromStdString(previous_folder));
        second->setText(breakable_path(second_text));
        // The answer offered is the one Enter gives.
        choose->setAutoDefault(false);
        stop->setAutoDefault(false);
        previous->setDefault(true);
        previous->setFocus();
    }
    connect(choose, &QPushButton::clicked, this, [this] {
        m_answer = BackupAnswer::ChooseFolder;
        accept();
    });
    connect(previous, &QPushButton::clicked, this, [this] {
        m_answer = BackupAnswer::UsePrevious;
        accept();
    });
    connect(stop, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::rejected, this, [this] { m_answer = BackupAnswer::Stop; });

    auto* layout = new QGridLayout(this);
    layout->addWidget(first, 0, 0, 1, 3);
    layout->addWidget(choose, 1, 0);
    layout->addWidget(stop, 1, 1);
    layout->addWidget(second, 2, 0, 1, 2);
    layout->addWidget(previous, 2, 2);
    setAccessibleDescription(first_text + QLatin1Char(' ') + second_text);
}

BackupAnswer ask_choose_backup(QWidget* parent, const std::string& backup_folder,
                               const std::string& previous_folder)
{
    CChooseBackupDlg dialog(parent, backup_folder, previous_folder);
    dialog.exec();
    return dialog.m_answer;
}

}  // namespace oakvane
