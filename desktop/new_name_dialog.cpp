#include "new_name_dialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace oakvane {

CNewNameDlg::CNewNameDlg(QWidget* parent) : QDialog(parent), m_edit(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("New Name"));
    setObjectName(QStringLiteral("CNewNameDlg"));
    m_edit->setObjectName(QStringLiteral("name"));
    m_edit->setAccessibleName(QStringLiteral("New name"));
    m_edit->setMaxLength(kMaxChars);
    m_edit->setMinimumWidth(m_edit->fontMetrics().averageCharWidth() * 36);

    // Cancel on the left and OK on the right whatever the desktop's style, as in the other
    // questions of the program.
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    connect(m_edit, &QLineEdit::textChanged, this, &CNewNameDlg::OnChangeName);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_edit);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}

QString CNewNameDlg::name() const { return m_edit->text(); }

void CNewNameDlg::OnChangeName()
{
    const QString text = m_edit->text();
    const QString kept = without_separators(text);
    if (kept == text)
        return;
    // Setting the text raises another change, which finds nothing more to remove.
    m_edit->setText(kept);
    m_edit->setCursorPosition(kept.size());
}

QString without_separators(const QString& text)
{
    QString kept = text;
    if (kept.contains(QLatin1Char('/')))
        kept.remove(QLatin1Char('/'));
    else
        kept.remove(QLatin1Char(':'));
    return kept;
}

std::string AskNewName(QWidget* parent)
{
    CNewNameDlg dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return "";
    return dialog.name().toStdString();
}

}  // namespace oakvane
