#include "pickers.h"

#include "update_request.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

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

std::optional<std::string> BrowseForFolder(QWidget* parent, const QString& title)
{
    QFileDialog dialog(parent, title);
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
