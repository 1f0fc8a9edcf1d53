// The main window: start-up, its controls and lists, the card state, Eject and closing.

#include "desktop_test_support.h"
#include "preferences.h"

#include <QAccessible>
#include <QComboBox>
#include <QFileDialog>
#include <QListWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QTest>
#include <QTimer>

#include <functional>

#include <filesystem>

using namespace oakvane;
using namespace oakvane::test;

namespace {

QStringList entries(QComboBox* combo)
{
    QStringList list;
    for (int i = 0; i < combo->count(); ++i)
        list << combo->itemText(i);
    return list;
}

template <class T>
T* child(CMainDlg& window, const char* name)
{
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void startsInOrderWithEveryControlInItsState()
    {
        WindowFixture f;
        QVERIFY(f.start());
        CMainDlg& w = f.window();
        const QStringList lines = f.output();
        // The update check (no network here) comes first, then the warranty notice.
        QVERIFY(!lines.isEmpty());
        const int warranty = lines.indexOf(QStringLiteral("WARRANTY"));
        QVERIFY(warranty > 0);
        QVERIFY(lines.last().startsWith(QStringLiteral("SUCH DAMAGE")));
        QCOMPARE(child<QLabel>(w, "status")->text(), QStringLiteral("Insert card or connect camera"));
        QCOMPARE(child<QLabel>(w, "cardText")->text(), QStringLiteral("No image card mounted"));
        QVERIFY(child<QPushButton>(w, "start")->isEnabled());
        QVERIFY(!child<QPushButton>(w, "eject")->isEnabled());
        QVERIFY(child<QLabel>(w, "startAuto")->text().isEmpty());
        // The default name format has no automatic number.
        auto* number = child<QLineEdit>(w, "startingNumber");
        QCOMPARE(number->text(), QStringLiteral("[not used]"));
        QVERIFY(!number->isEnabled());
        QCOMPARE(entries(child<QComboBox>(w, "template")),
                 QStringList({QStringLiteral("[none]"), QStringLiteral("[refresh]")}));
        QCOMPARE(child<QComboBox>(w, "template")->currentText(), QStringLiteral("[none]"));
        QCOMPARE(entries(child<QComboBox>(w, "userFolder")), QStringList(QStringLiteral("[not used]")));
        QVERIFY(!child<QComboBox>(w, "userFolder")->isEnabled());
        QCOMPARE(entries(child<QComboBox>(w, "prefSet")), QStringList(QStringLiteral("Default")));
    }

    // The output list's lines can be copied (Ctrl+C), in the list's order whatever order they
    // were picked in; its current line is no focus of its own while focus is elsewhere.
    void outputLinesAreCopiedAndFocusIsTrue()
    {
        WindowFixture f;
        QVERIFY(f.start());
        CMainDlg& w = f.window();
        auto* output = child<QListWidget>(w, "output");
        const int last = output->count() - 1;
        QVERIFY(last >= 2);
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        output->setFocus();
        output->clearSelection();
        output->item(last)->setSelected(true);
        output->item(0)->setSelected(true);
        QApplication::clipboard()->clear();
        QTest::keySequence(output, QKeySequence::Copy);
        QCOMPARE(QApplication::clipboard()->text(),
                 output->item(0)->text() + QLatin1Char('\n') + output->item(last)->text());

        output->setCurrentRow(1);
        child<QPushButton>(w, "start")->setFocus();
        QVERIFY(!output->currentIndex().isValid());
        output->setFocus();
        QCOMPARE(output->currentRow(), 1);
    }

    void autoNumbersAndTheUserFolderListFollowThePreferences()
    {
        WindowFixture f({"NameFmt\tSSAE", "StartingNumber\t17", "AutoIngest\t1", "WantUserFolder\t1"});
        std::filesystem::create_directories(f.primary + "/Jobs");
        std::filesystem::create_directories(f.primary + "/.hidden");
        f.config.write_set("Studio", {"PrimaryFolder\t" + f.primary});
        QVERIFY(f.start());
        CMainDlg& w = f.window();
        auto* number = child<QLineEdit>(w, "startingNumber");
        QVERIFY(number->isEnabled());
        QCOMPARE(number->text(), QStringLiteral("17"));
        number->clear();
        QTest::keyClicks(number, QStringLiteral("1a23456"));
        QCOMPARE(number->text(), QStringLiteral("1234"));
        QCOMPARE(child<QLabel>(w, "startAuto")->text(), QStringLiteral("Auto"));
        auto* folders = child<QComboBox>(w, "userFolder");
        QCOMPARE(entries(folders), QStringList({QStringLiteral("Jobs"), QStringLiteral("[refresh]"),
                                                QStringLiteral("[new...]")}));
        QCOMPARE(w.user_folder_name(), std::string("Jobs"));

        // A new folder: made under the primary folder, listed and chosen.
        answer_modal<QDialog>([](QDialog* dialog) {
            QTest::keyClicks(dialog->findChild<QLineEdit*>(), QStringLiteral("Wedding"));
            dialog->accept();
        });
        folders->setCurrentIndex(2);
        emit folders->activated(2);
        QVERIFY(std::filesystem::is_directory(f.primary + "/Wedding"));
        QCOMPARE(folders->currentText(), QStringLiteral("Wedding"));
        QCOMPARE(w.user_folder_name(), std::string("Wedding"));

        // Switching sets from the main window's list applies the other set.
        auto* sets = child<QComboBox>(w, "prefSet");
        QCOMPARE(entries(sets), QStringList({QStringLiteral("Default"), QStringLiteral("Studio")}));
        sets->setCurrentIndex(1);
        emit sets->activated(1);
        const std::string profile = read_file(f.config.path("config/Oakvane/Oakvane.ini"));
        QVERIFY2(profile.find("PrefSetCurrent=Studio\n") != std::string::npos, profile.c_str());
        QVERIFY(!number->isEnabled());
        QVERIFY(child<QLabel>(w, "startAuto")->text().isEmpty());
    }

    // Enter in the starting number keeps the number typed and the window open: the window's
    // default button is Exit.
    void enterInTheStartingNumberStoresIt()
    {
        WindowFixture f({"NameFmt\tSSAE", "StartingNumber\t17"});
        QVERIFY(f.start());
        CMainDlg& w = f.window();
        w.show();
        auto* number = child<QLineEdit>(w, "startingNumber");
        number->setFocus();
        number->selectAll();
        QTest::keyClicks(number, QStringLiteral("42"));
        QTest::keyClick(number, Qt::Key_Return);
        QVERIFY(w.isVisible());
        w.close();
        const std::string set = read_file(f.config.path("config/Oakvane/Main/Default"));
        QVERIFY2(set.find("StartingNumber\t42\n") != std::string::npos, set.c_str());
    }

    void cardStateFollowsTheMountsAndEjectSaysWhyItCannot()
    {
        WindowFixture f;
        QVERIFY(f.start());
        CMainDlg& w = f.window();
        const std::string card = f.insert_card("EOS", 41);
        QCOMPARE(w.detected_card().folder, card);
        QCOMPARE(child<QLabel>(w, "status")->text(), QStringLiteral("Press Start to begin"));
        QVERIFY(child<QLabel>(w, "cardText")->text().startsWith(QStringLiteral("Image card mounted: ")));
        QVERIFY(child<QPushButton>(w, "eject")->isEnabled());

        // A folder that is not a removable drive is refused.
        QString text;
        answer_message_box(&text);
        child<QPushButton>(w, "eject")->click();
        // The window goes on answering while the system does, and says so.
        QCOMPARE(child<QLabel>(w, "status")->text(), QStringLiteral("Ejecting card..."));
        QVERIFY(!child<QPushButton>(w, "eject")->isEnabled());
        QVERIFY(wait_until([&text] { return !text.isEmpty(); }));
        QVERIFY(text.startsWith(QStringLiteral("Can't eject card")));
        QCOMPARE(child<QLabel>(w, "status")->text(), QStringLiteral("Press Start to begin"));
        QVERIFY(child<QPushButton>(w, "eject")->isEnabled());

        f.insert_card("NIKON", 42);
        QCOMPARE(child<QLabel>(w, "cardText")->text(), QStringLiteral("Multiple image cards mounted"));
        QVERIFY(!child<QPushButton>(w, "eject")->isEnabled());
        f.remove_card(41);
        f.remove_card(42);
        QCOMPARE(child<QLabel>(w, "cardText")->text(), QStringLiteral("No image card mounted"));
    }

    // However long the card's text, it gives way: every button keeps its whole text, and the
    // card's full text stays in its tool tip and accessible description.
    void buttonsKeepTheirTextWhateverTheCard()
    {
        WindowFixture f;
        QVERIFY(f.start());
        CMainDlg& w = f.window();
        w.show();
        const auto buttons_whole = [&w] {
            for (QPushButton* b : w.findChildren<QPushButton*>()) {
                const QString text = b->text().remove(QLatin1Char('&'));
                if (b->width() < b->fontMetrics().horizontalAdvance(text) + 8)
                    return false;
            }
            return true;
        };
        const std::string card = f.insert_card("media/drtest/" + std::string(120, 'L') + "/EOS_DIGITAL", 3);
        QTest::qWait(50);
        QVERIFY(buttons_whole());
        auto* text = child<QLabel>(w, "cardText");
        QVERIFY(text->toolTip().endsWith(QStringLiteral("EOS_DIGITAL/")));
        QCOMPARE(text->accessibleDescription(), text->toolTip());

        f.insert_card("NIKON", 4);
        QTest::qWait(50);
        QVERIFY(buttons_whole());
        QCOMPARE(text->toolTip(), QStringLiteral("Multiple image cards mounted"));

        // Larger, the window gives the room to the output list.
        auto* output = child<QListWidget>(w, "output");
        const int height = output->height();
        w.resize(w.width() + 100, w.height() + 200);
        QTest::qWait(50);
        QVERIFY(output->height() >= height + 150);
    }

    // A run asked for while a dialog is open is looked at again when the dialog closes: the
    // card gone, or Auto Ingest unticked, it does not start.
    void heldRunStartsOnlyIfStillWanted()
    {
        WindowFixture f({"AutoIngest\t1"});
        QVERIFY(f.start());
        CMainDlg& w = f.window();
        bool picker = false;
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, [&picker] {
            if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                picker = true;
                d->reject();
            }
        });
        guard.start(20);
        const auto in_preferences = [&w](std::function<void(QDialog*)> meanwhile) {
            answer_modal<QDialog>([meanwhile](QDialog* prefs) {
                meanwhile(prefs);
                prefs->findChild<QPushButton*>(QStringLiteral("Close"))->click();
            });
            child<QPushButton>(w, "preferences")->click();
            QTest::qWait(200);
        };
        in_preferences([&f](QDialog*) {
            f.insert_card("EOS", 5);
            f.remove_card(5);
        });
        in_preferences([&f](QDialog* prefs) {
            f.insert_card("EOS", 6);
            prefs->findChild<QCheckBox*>(QStringLiteral("AutoIngest"))->click();
        });
        QVERIFY(!picker);
        QVERIFY(!f.output().contains(QStringLiteral("Starting")));
        QVERIFY(child<QLabel>(w, "status")->text() != QStringLiteral("Choosing card"));
    }

    void everyControlIsNamedAndReachedInReadingOrder()
    {
        WindowFixture f;
        QVERIFY(f.start());
        CMainDlg& w = f.window();
        QStringList order;
        QWidget* start = child<QPushButton>(w, "start");
        QWidget* at = start;
        do {
            // Lists are named by their label (a combo box reports its current entry as its
            // name on this platform and its label through the labelled-by relation).
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(at);
            const QString name = at->accessibleName().isEmpty() ? a->text(QAccessible::Name)
                                                                 : at->accessibleName();
            QVERIFY2(!name.isEmpty(), qPrintable(at->objectName()));
            order << name;
            at = at->nextInFocusChain();
            while (at != start && (at->focusPolicy() & Qt::TabFocus) == 0)
                at = at->nextInFocusChain();
        } while (at != start);
        QCOMPARE(order, QStringList({"Start", "Eject", "Preferences...", "Check for Update",
                                     "Web Site", "About Oakvane...", "Exit", "Preference Set",
                                     "Starting Number", "Metadata Template", "User-Named Folder",
                                     "Output list"}));
    }

    void closingSavesTheSetAndIsRefusedDuringARun()
    {
        WindowFixture f({"WantUserFolder\t1"});
        std::filesystem::create_directories(f.primary + "/Jobs");
        std::filesystem::create_directories(f.primary + "/Wedding");
        QVERIFY(f.start());
        CMainDlg& w = f.window();
        f.insert_card("EOS", 7);

        // Start asks which card: the run is up, and neither Escape nor the window's close
        // ends the window under it.
        bool stayed = false;
        answer_modal<QDialog>([&w, &stayed](QDialog* question) {
            QTest::keyClick(&w, Qt::Key_Escape);
            w.close();
            stayed = w.isVisible();
            question->findChild<QPushButton*>(QStringLiteral("cancel"))->click();
        });
        child<QPushButton>(w, "start")->click();
        QVERIFY(stayed);
        QVERIFY(w.isVisible());

        // A choice made after Start saved the set is saved when the window closes. The list
        // is in the directory's order: the choice is whichever folder is not chosen yet.
        auto* folders = child<QComboBox>(w, "userFolder");
        const std::string other = folders->currentText() == QStringLiteral("Jobs") ? "Wedding" : "Jobs";
        const int index = folders->findText(QString::fromStdString(other));
        QVERIFY(index >= 0);
        folders->setCurrentIndex(index);
        emit folders->activated(index);
        const std::string set = f.config.path("config/Oakvane/Main/Default");
        const std::string line = "UserFolder\t" + other + "\n";
        QVERIFY(read_file(set).find(line) == std::string::npos);
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        QVERIFY(read_file(set).find(line) != std::string::npos);
    }
};

OAKVANE_DESKTOP_TEST(MainWindowTest);
#include "main_window_test.moc"
