// The small question dialogs, answered as a person would.

#include "choose_backup_dialog.h"
#include "choose_card_dialog.h"
#include "desktop_test_support.h"
#include "new_name_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <string>

using namespace oakvane;
using namespace oakvane::test;

namespace {

// A label's text as read, without the places where a long path may wrap.
QString shown(QWidget* dialog, const char* name)
{
    return dialog->findChild<QLabel*>(QString::fromLatin1(name))->text().remove(QChar(0x200B));
}

}  // namespace

class SmallDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void newNameDropsSeparatorsAsTheyAreTyped()
    {
        answer_modal<CNewNameDlg>([](CNewNameDlg* dialog) {
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("name"));
            QTest::keyClicks(edit, QStringLiteral("pq/rs:tu"));
            QCOMPARE(edit->text(), QStringLiteral("pqrstu"));
            QCOMPARE(edit->cursorPosition(), 6);
            edit->clear();
            edit->insert(QString(40, QLatin1Char('x')));  // a paste
            QCOMPARE(edit->text().size(), 31);
            dialog->findChild<QPushButton*>(QStringLiteral("ok"))->click();
        });
        QCOMPARE(QString::fromStdString(AskNewName(nullptr)), QString(31, QLatin1Char('x')));

        answer_modal<CNewNameDlg>([](CNewNameDlg* dialog) {
            QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("name")), QStringLiteral("Trip"));
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QCOMPARE(AskNewName(nullptr), std::string());
    }

    void chooseCardTellsItsThreeAnswersApart()
    {
        const auto press = [](const char* name) {
            answer_modal<CChooseCardDlg>([name](CChooseCardDlg* dialog) {
                QCOMPARE(shown(dialog, "question"),
                         QStringLiteral("Ingest from card /media/u/EOS/ (EOS)?"));
                if (name)
                    dialog->findChild<QPushButton*>(QString::fromLatin1(name))->click();
                else
                    QTest::keyClick(dialog, Qt::Key_Escape);
            });
            return ask_choose_card(nullptr, "/media/u/EOS/ (EOS)");
        };
        QVERIFY(press("ok") == CardAnswer::Ok);
        QVERIFY(press("other") == CardAnswer::Other);
        QVERIFY(press("cancel") == CardAnswer::Cancel);
        QVERIFY(press(nullptr) == CardAnswer::Cancel);
    }

    void chooseBackupOffersThePreviousFolderOnlyWhenThereIsOne()
    {
        answer_modal<CChooseBackupDlg>([](CChooseBackupDlg* dialog) {
            QCOMPARE(shown(dialog, "firstLine"),
                     QStringLiteral("Can't access main backup folder /mnt/backup"));
            QVERIFY(shown(dialog, "secondLine").isEmpty());
            QVERIFY(!dialog->findChild<QPushButton*>(QStringLiteral("usePrevious"))->isVisible());
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QVERIFY(ask_choose_backup(nullptr, "/mnt/backup", "") == BackupAnswer::Stop);

        answer_modal<CChooseBackupDlg>([](CChooseBackupDlg* dialog) {
            QCOMPARE(shown(dialog, "secondLine"),
                     QStringLiteral("Use previous folder /srv/old?"));
            dialog->findChild<QPushButton*>(QStringLiteral("usePrevious"))->click();
        });
        QVERIFY(ask_choose_backup(nullptr, "/mnt/backup", "/srv/old") == BackupAnswer::UsePrevious);

        // Enter gives the answer offered, and a long path wraps rather than widening the
        // dialog past the screen.
        std::string deep = "/mnt";
        while (deep.size() < 150)
            deep += "/Weddings-2026-spring";
        answer_modal<CChooseBackupDlg>([](CChooseBackupDlg* dialog) {
            QVERIFY(dialog->width() < 1000);
            QTest::keyClick(dialog, Qt::Key_Return);
        });
        QVERIFY(ask_choose_backup(nullptr, deep + "/a/b", deep + "/c/d") == BackupAnswer::UsePrevious);

        answer_modal<CChooseBackupDlg>([](CChooseBackupDlg* dialog) {
            dialog->findChild<QPushButton*>(QStringLiteral("chooseFolder"))->click();
        });
        QVERIFY(ask_choose_backup(nullptr, "/mnt/backup", "") == BackupAnswer::ChooseFolder);
    }
};

OAKVANE_DESKTOP_TEST(SmallDialogsTest);
#include "small_dialogs_test.moc"
