#include "about_dialog.h"

#include "update_version.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace oakvane {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Oakvane"));
    setObjectName(QStringLiteral("CAboutDlg"));
    auto* name = new QLabel(QStringLiteral("Oakvane %1").arg(QString::fromStdString(program_version())), this);
    auto* rights = new QLabel(QStringLiteral("Copyright \u00a9 2026 the Oakvane developers.\n"
                                             "All rights reserved."),
                              this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(name);
    layout->addWidget(rights);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
}

}  // namespace oakvane
