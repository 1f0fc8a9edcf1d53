#include "choose_card_dialog.h"

#include "wrapped_text.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace oakvane {

CChooseCardDlg::CChooseCardDlg(QWidget* parent, const std::string& card_name) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Choose Card"));
    setObjectName(QStringLiteral("CChooseCardDlg"));
    const QString question_text =
        QStringLiteral("Ingest from card %1?").arg(QString::fromStdString(card_name));
    auto* question = wrapped_label(question_text, this);
    question->setObjectName(QStringLiteral("question"));
    auto* other = new QPushButton(QStringLiteral("&Other..."), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    other->setObjectName(QStringLiteral("other"));
    cancel->setObjectName(QStringLiteral("cancel"));
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] {
        m_okChosen = true;
        accept();
    });
    connect(other, &QPushButton::clicked, this, [this] {
        m_otherChosen = true;
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(other);
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(question);
    layout->addLayout(buttons);
    // The question is the dialog's description for a screen reader.
    setAccessibleDescription(question_text);
}

CardAnswer ask_choose_card(QWidget* parent, const std::string& card_name)
{
    CChooseCardDlg dialog(parent, card_name);
    if (dialog.exec() != QDialog::Accepted)
        return CardAnswer::Cancel;
    return dialog.m_otherChosen ? CardAnswer::Other : CardAnswer::Ok;
}

}  // namespace oakvane
