#include "pickers.h"

#include "update_request.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

#include <cstdlib>

namespace oakvane {

namespace {

std::optional<std::string> run_picker(QFileDialog& dialog)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString chosen = dialog.selectedFiles().constFirst();
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.toStdString();
}

}  // namespace

QString picker_start(const std::string& current, PickerFor what)
{
    const QString folder = QString::fromStdString(current);
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return folder;
    const char* user = std::getenv("USER");
    if (what == PickerFor::Card && user && *user) {
        for (const char* base : {"/media/", "/run/media/"}) {
            const QString mounts = QString::fromLatin1(base) + QString::fromLocal8Bit(user);
            if (QFileInfo(mounts).isDir())
                return mounts;
        }
    }
    return QDir::homePath();
}

std::optional<std::string> BrowseForFolder(QWidget* parent, const QString& title,
                                           const QString& start_at)
{
    QFileDialog dialog(parent, title, start_at);
    dialog.setObjectName(QStringLiteral("folderPicker"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    return run_picker(dialog);
}

std::optional<std::string> ChooseProgram(QWidget* parent, const QString& title,
                                         const QString& filter)
{
    QFileDialog dialog(parent, title, QStringLiteral("/usr/bin"), filter);
    dialog.setObjectName(QStringLiteral("programPicker"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    return run_picker(dialog);
}

void open_web_page(const std::string& path)
{
    std::string base = update_base_url();
    while (base.ends_with('/'))
        base.pop_back();
    QDesktopServices::openUrl(QUrl(QString::fromStdString(base + path)));
}

}  // namespace oakvane
