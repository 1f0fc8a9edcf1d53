// The preferences dialog driven as a person would: clicks, typing, list choices and pickers,
// with what it stored read back from the set files.

#include "desktop_test_support.h"
#include "preferences.h"
#include "preferences_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QScreen>
#include <QScrollArea>
#include <QTest>

#include <cstdlib>

#include <filesystem>
#include <fstream>

using namespace oakvane;
using namespace oakvane::test;

namespace {

// Forwards the model's callbacks to the dialog, as the main window does, and answers its
// questions from the test.
class DialogHost : public PrefsHost {
public:
    void message_box(const std::string& text) override { messages.push_back(text); }
    bool ask_yes_no(const std::string& text) override
    {
        messages.push_back(text);
        return true;
    }
    std::string ask_new_name() override
    {
        list_while_asked = dialog->findChild<QComboBox*>("PrefSetCurrent")->currentText();
        return new_name;
    }
    void preferences_switched(const std::string& name) override
    {
        if (dialog)
            dialog->on_preferences_switched(name);
    }
    void pref_sets_changed() override
    {
        if (dialog)
            dialog->on_pref_sets_changed();
    }

    CPreferencesDlg* dialog = nullptr;
    std::vector<std::string> messages;
    std::string new_name;
    QString list_while_asked;
};

// A configuration with the given sets, the model started on it, and the dialog shown.
struct Opened {
    explicit Opened(const std::vector<std::string>& default_set,
                    const std::string& profile = "")
    {
        config.write_set("Default", default_set);
        if (!profile.empty())
            write_file(config.path("config/Oakvane/Oakvane.ini"), "[App]\n" + profile);
    }
    bool show()
    {
        prefs = std::make_unique<Preferences>(host);
        if (!prefs->InitPreferences())
            return false;
        dialog = std::make_unique<CPreferencesDlg>(*prefs, [this] { ++applied; });
        host.dialog = dialog.get();
        dialog->show();
        return true;
    }
    template <class T>
    T* get(const char* name) const
    {
        T* widget = dialog->findChild<T*>(name);
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    // The value stored under key in the set file, read afresh.
    std::string stored(const std::string& set, const std::string& key) const
    {
        std::ifstream in(config.path("config/Oakvane/Main/" + set));
        std::string line;
        while (std::getline(in, line))
            if (line.starts_with(key + '\t'))
                return line.substr(key.size() + 1);
        return "<missing>";
    }
    void choose(const char* list_name, const QString& entry) const
    {
        auto* list = get<QComboBox>(list_name);
        const int index = list->findText(entry);
        QVERIFY2(index >= 0, qPrintable(entry));
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    QString example() const { return get<QLabel>("NameExample")->text(); }

    PrivateConfig config;
    DialogHost host;
    std::unique_ptr<Preferences> prefs;
    std::unique_ptr<CPreferencesDlg> dialog;
    int applied = 0;
};

QStringList list_entries(const QComboBox* list)
{
    QStringList entries;
    for (int i = 0; i < list->count(); ++i)
        entries << list->itemText(i);
    return entries;
}

}  // namespace

class PreferencesDialogTest : public QObject {
    Q_OBJECT
private slots:
    void converterSwitchesFollowRunConverter()
    {
        Opened o({"KeepRaw\t1", "VerifyOnly\t0", "ConverterApp\t/opt/dng/convert",
                  "NameFmt\tSDNE", "NamePfx\tIMG", "Preview\t-p1"});
        QVERIFY(o.show());
        auto* keep_raw = o.get<QCheckBox>("KeepRaw");
        auto* verify = o.get<QCheckBox>("VerifyOnly");
        auto* preview = o.get<QComboBox>("Preview");
        auto* embed = o.get<QCheckBox>("Embed");
        auto* path = o.get<QLabel>("ConverterApp");
        QVERIFY(keep_raw->isChecked() && verify->isEnabled() && preview->isEnabled());
        QCOMPARE(preview->currentIndex(), 1);
        QCOMPARE(path->text(), QString("/opt/dng/convert"));
        QCOMPARE(o.example(), QString("IMG_20060226_1234.DNG"));
        QVERIFY(o.applied > 0);

        keep_raw->click();
        QVERIFY(!o.prefs->GetKeepRaw());
        QVERIFY(!verify->isEnabled() && !preview->isEnabled() && !embed->isEnabled());
        QVERIFY(!path->isEnabled());
        QCOMPARE(path->text(), QString("/opt/dng/convert (not used)"));
        QCOMPARE(o.example(), QString("IMG_20060226_1234.NEF"));

        keep_raw->click();
        verify->click();
        QVERIFY(o.prefs->GetVerifyOnly());
        QVERIFY(verify->isEnabled() && !preview->isEnabled() && !embed->isEnabled());
        QCOMPARE(o.example(), QString("IMG_20060226_1234.NEF"));
        QVERIFY(o.host.messages.empty());
    }

    void dateFoldersGateTheRadiosButKeepTheirChoice()
    {
        Opened o({"WantDateFolders\t1", "Arrangement\t2", "PrimaryFolder\t/photos"});
        QVERIFY(o.show());
        auto* radio3 = o.get<QRadioButton>("Arrangement3");
        QVERIFY(o.get<QRadioButton>("Arrangement2")->isChecked());
        radio3->click();
        QCOMPARE(o.prefs->GetArrangement(), 3);
        QVERIFY(o.get<QPlainTextEdit>("ArrangementExample")
                    ->toPlainText()
                    .startsWith("/photos\n    2006\n        06\n            2006-06-12\n"));

        o.get<QCheckBox>("WantDateFolders")->click();
        QVERIFY(!o.prefs->GetWantDateFolders());
        QVERIFY(!radio3->isEnabled() && radio3->isChecked());
        QCOMPARE(o.prefs->GetArrangement(), 3);
        QCOMPARE(o.get<QPlainTextEdit>("ArrangementExample")->toPlainText(),
                 QString("/photos\n    Image 1\n    Image 2\n    ..."));
    }

    // The older three-field format gains its text field when the dialog opens; the example and
    // the text edits follow the field lists and what is typed.
    void nameFieldsAndExample()
    {
        Opened o({"NameFmt\tDNE", "KeepRaw\t1", "NamePfx\t"});
        QVERIFY(o.show());
        QCOMPARE(o.prefs->GetNameFmt(), std::string("SDNE"));
        QCOMPARE(o.get<QComboBox>("NameFmt1")->currentText(), QString("text"));
        QCOMPARE(o.example(), QString("_20060226_1234.DNG"));

        auto* prefix = o.get<QLineEdit>("NamePfx");
        QVERIFY(prefix->isVisible());
        QTest::keyClicks(prefix, "IMG");
        emit prefix->editingFinished();  // the focus leaves the edit
        QCOMPARE(o.prefs->GetNamePfx(), std::string("IMG"));
        QCOMPARE(o.example(), QString("IMG_20060226_1234.DNG"));

        auto* text3 = o.get<QLineEdit>("NameText3");
        QVERIFY(!text3->isVisible());
        o.choose("NameFmt3", "text");
        QVERIFY(text3->isVisible());
        QCOMPARE(o.prefs->GetNameFmt(), std::string("SDSE"));
        o.choose("NameFmt3", " ");
        QVERIFY(!text3->isVisible());
        QCOMPARE(o.example(),
                 QString("IMG_20060226.DNG    (Sequence numbers will be appended as needed.)"));
    }

    // A field whose stored letter no list entry stands for keeps that letter when another
    // field changes; a field the stored format does not reach becomes empty.
    void unknownFormatLettersAreKept()
    {
        {
            Opened o({"NameFmt\tSXNE", "NamePfx\tIMG", "KeepRaw\t1"});
            QVERIFY(o.show());
            QCOMPARE(o.get<QComboBox>("NameFmt2")->currentIndex(), -1);
            QCOMPARE(o.example(), QString("IMG_???_1234.DNG"));
            o.choose("NameFmt4", "auto numbers");
            QCOMPARE(o.prefs->GetNameFmt(), std::string("SXNA"));
        }
        Opened short_format({"NameFmt\tSD"});
        QVERIFY(short_format.show());
        short_format.choose("NameFmt1", "file name");
        QCOMPARE(short_format.prefs->GetNameFmt(), std::string("FDEE"));
    }

    void closeStoresTheTextJustTyped()
    {
        Opened o({"NameFmt\tSDNE", "NamePfx\tOLD"});
        QVERIFY(o.show());
        auto* prefix = o.get<QLineEdit>("NamePfx");
        prefix->setFocus();
        prefix->selectAll();
        QTest::keyClicks(prefix, "NEW");
        // No focus change reaches the edit (the window is not active): Close itself must store.
        o.get<QPushButton>("Close")->click();
        QVERIFY(!o.dialog->isVisible());
        QCOMPARE(o.stored("Default", "NamePfx"), std::string("NEW"));
    }

    // Read-back and raw decoding are on for a set that never stored them; clearing a box
    // turns its check off for the runs of that set.
    void checksAreOnUntilCleared()
    {
        Opened o({});
        QVERIFY(o.show());
        const std::pair<const char*, bool (Preferences::*)() const> checks[] = {
            {"ReadBack", &Preferences::GetReadBack}, {"DecodeRaws", &Preferences::GetDecodeRaws}};
        for (const auto& [key, get] : checks) {
            auto* box = o.get<QCheckBox>(key);
            QVERIFY(box->isChecked());
            QVERIFY((o.prefs.get()->*get)());
            box->click();
            QVERIFY(!(o.prefs.get()->*get)());
            QVERIFY(!box->isChecked());
            box->click();
            QVERIFY((o.prefs.get()->*get)());
        }
    }

    void escapeStillWritesTheChangedSet()
    {
        Opened o({"AutoEject\t0"});
        QVERIFY(o.show());
        o.get<QCheckBox>("AutoEject")->click();
        QCOMPARE(o.stored("Default", "AutoEject"), std::string("0"));
        QTest::keyClick(o.dialog.get(), Qt::Key_Escape);
        QVERIFY(!o.dialog->isVisible());
        QCOMPARE(o.stored("Default", "AutoEject"), std::string("1"));
    }

    void cancelledPickers()
    {
        Opened o({"CardFolder\t/media/card", "PrimaryFolder\t/photos", "ViewerApp\t/usr/bin/eog",
                  "ConverterApp\t/opt/dng"});
        QVERIFY(o.show());
        const auto cancel_next = [] {
            answer_modal<QFileDialog>([](QFileDialog* d) { d->reject(); });
        };
        cancel_next();
        o.get<QPushButton>("ChooseCard")->click();
        QCOMPARE(o.prefs->GetCardFolder(), std::string("[user choice]"));
        QCOMPARE(o.get<QLabel>("CardFolder")->text(), QString("[user choice]"));
        cancel_next();
        o.get<QPushButton>("ChoosePrimary")->click();
        QCOMPARE(o.prefs->GetPrimaryFolder(), std::string("/photos"));
        cancel_next();
        o.get<QPushButton>("ChooseViewer")->click();
        QCOMPARE(o.prefs->GetViewerApp(), std::string("[none]"));
        cancel_next();
        o.get<QPushButton>("ChooseConverter")->click();
        QCOMPARE(o.prefs->GetConverterApp(), std::string("/opt/dng"));

        const std::string program = o.config.path("converter");
        write_file(program, "#!/bin/sh\n");
        answer_modal<QFileDialog>([program](QFileDialog* d) {
            // Typed, not selected: the picker fills its list on a thread of its own.
            d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                ->setText(QString::fromStdString(program));
            static_cast<QDialog*>(d)->accept();  // QFileDialog hides its accept
        });
        o.get<QPushButton>("ChooseConverter")->click();
        QCOMPARE(o.prefs->GetConverterApp(), program);
    }

    // The report folder is chosen with the picker (a cancelled picker keeps it), typed, or
    // emptied for no report; a text still being typed is stored by Close.
    void reportFolderIsChosenTypedOrEmptied()
    {
        Opened o({"BackupFolder\t/backup"});
        QVERIFY(o.show());
        auto* field = o.get<QLineEdit>("ReportFolder");
        QCOMPARE(field->text(), QString());
        QCOMPARE(field->accessibleName(), QString("Report folder"));
        const std::string chosen = o.config.path("reports");
        std::filesystem::create_directories(chosen);
        answer_modal<QFileDialog>([chosen](QFileDialog* d) {
            d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                ->setText(QString::fromStdString(chosen));
            static_cast<QDialog*>(d)->accept();
        });
        o.get<QPushButton>("ChooseReport")->click();
        QCOMPARE(o.prefs->GetReportFolder(), chosen);
        QCOMPARE(field->text(), QString::fromStdString(chosen));
        answer_modal<QFileDialog>([](QFileDialog* d) { d->reject(); });
        o.get<QPushButton>("ChooseReport")->click();
        QCOMPARE(o.prefs->GetReportFolder(), chosen);

        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        emit field->editingFinished();
        QCOMPARE(o.prefs->GetReportFolder(), std::string());
        QTest::keyClicks(field, "/srv/reports");
        o.get<QPushButton>("Close")->click();
        QCOMPARE(o.stored("Default", "ReportFolder"), std::string("/srv/reports"));
        QCOMPARE(o.stored("Default", "BackupFolder"), std::string("/backup"));
    }

    void setListSwitchesCreatesAndDeletes()
    {
        Opened o({"CardFolder\t/media/default"}, "PrefSetCurrent=Trip\n");
        o.config.write_set("Trip", {"CardFolder\t/media/trip"});
        QVERIFY(o.show());
        auto* list = o.get<QComboBox>("PrefSetCurrent");
        QCOMPARE(o.dialog->windowTitle(), QString("Oakvane Preferences (Trip)"));
        QCOMPARE(list_entries(list),
                 QStringList({"Default", "Trip", "[new...]", "[delete]"}));
        QCOMPARE(list->currentText(), QString("Trip"));
        QCOMPARE(o.get<QLabel>("CardFolder")->text(), QString("/media/trip"));

        o.choose("PrefSetCurrent", "Default");
        QCOMPARE(o.dialog->windowTitle(), QString("Oakvane Preferences (Default)"));
        QCOMPARE(o.get<QLabel>("CardFolder")->text(), QString("/media/default"));
        o.choose("PrefSetCurrent", "Trip");

        o.host.new_name = "Trip2";
        o.choose("PrefSetCurrent", "[new...]");
        QCOMPARE(o.host.list_while_asked, QString("Trip"));
        QCOMPARE(o.dialog->windowTitle(), QString("Oakvane Preferences (Trip2)"));
        QCOMPARE(list->currentText(), QString("Trip2"));
        QVERIFY(list_entries(list).contains("Trip2"));
        QCOMPARE(o.stored("Trip2", "CardFolder"), std::string("/media/trip"));

        o.choose("PrefSetCurrent", "[delete]");
        QCOMPARE(o.host.messages, std::vector<std::string>{"Delete Preference Set: Trip2"});
        QCOMPARE(o.dialog->windowTitle(), QString("Oakvane Preferences (Default)"));
        QCOMPARE(list_entries(list),
                 QStringList({"Default", "Trip", "[new...]", "[delete]"}));
        QCOMPARE(list->currentText(), QString("Default"));
        QVERIFY(!std::filesystem::exists(o.config.path("config/Oakvane/Main/Trip2")));
    }

    // The remembered set has gone: the dialog says so and shows the set that stays current
    // instead of empty controls.
    void unreadableCurrentSetShowsTheSetStillCurrent()
    {
        Opened o({"CardFolder\t/media/default"}, "PrefSetCurrent=Gone\n");
        QVERIFY(o.show());
        QCOMPARE(o.host.messages.size(), std::size_t{1});
        // Its own line first, then the sets there are to choose from.
        QVERIFY(o.host.messages[0].starts_with("Can't read Preference Set:Gone\nThe sets there are: "));
        QVERIFY(o.host.messages[0].find("Default") != std::string::npos);
        QCOMPARE(o.dialog->windowTitle(), QString("Oakvane Preferences (Default)"));
        QCOMPARE(o.get<QComboBox>("PrefSetCurrent")->currentText(), QString("Default"));
        QCOMPARE(o.get<QLabel>("CardFolder")->text(), QString("/media/default"));
    }

    // Tab goes through the controls in reading order, top to bottom and left to right, and
    // each is named for assistive tools.
    // What screen readers and GUI test tools do: the Toggle action, with no click. The set
    // stores it, and what depends on it follows (the arrangement's example, the main window).
    void toggleActionStoresAndRefreshes()
    {
        Opened o({"AutoEject\t1", "WantDateFolders\t1", "Arrangement\t2"});
        QVERIFY(o.show());
        const auto toggle = [](QWidget* w) {
            QAccessibleActionInterface* actions =
                QAccessible::queryAccessibleInterface(w)->actionInterface();
            actions->doAction(QAccessibleActionInterface::toggleAction());
        };
        const int applied = o.applied;
        toggle(o.get<QCheckBox>("AutoEject"));
        QCOMPARE(o.prefs->GetAutoEject(), false);
        QVERIFY(o.applied > applied);

        const QString before = o.get<QPlainTextEdit>("ArrangementExample")->toPlainText();
        toggle(o.get<QRadioButton>("Arrangement1"));
        QCOMPARE(o.prefs->GetArrangement(), 1);
        QVERIFY(o.get<QPlainTextEdit>("ArrangementExample")->toPlainText() != before);
        // The refresh sets the other radios without storing them in turn.
        QVERIFY(!o.get<QRadioButton>("Arrangement2")->isChecked());
        QCOMPARE(o.prefs->GetArrangement(), 1);
    }

    // Close stays in view on a small screen: the rest scrolls.
    void dialogFitsTheScreenWithCloseInView()
    {
        Opened o({});
        QVERIFY(o.show());
        const QRect room = o.dialog->screen()->availableGeometry();
        QVERIFY2(o.dialog->width() <= room.width() && o.dialog->height() <= room.height() - 40,
                 qPrintable(QStringLiteral("%1x%2 in %3x%4").arg(o.dialog->width())
                                .arg(o.dialog->height()).arg(room.width()).arg(room.height())));
        QWidget* close = o.get<QPushButton>("Close");
        QVERIFY(o.dialog->rect().contains(QRect(close->mapTo(o.dialog.get(), QPoint()), close->size())));
        // Fields 2 to 4 and the preview list are named for a screen reader by a label.
        for (const char* name : {"NameFmt2", "NameFmt4", "Preview"}) {
            const auto labels = QAccessible::queryAccessibleInterface(o.get<QComboBox>(name))
                                    ->relations(QAccessible::Label);
            QVERIFY2(!labels.isEmpty(), name);
        }
    }

    void tabOrderIsReadingOrder()
    {
        Opened o({});
        QVERIFY(o.show());
        QWidget* const first = o.get<QPushButton>("ChooseCard");
        QWidget* const last = o.get<QPushButton>("Close");
        const auto at = [&o](QWidget* w) { return w->mapTo(o.dialog.get(), QPoint()); };
        QWidget* previous = first;
        for (QWidget* w = first->nextInFocusChain(); previous != last; w = w->nextInFocusChain()) {
            QVERIFY(w != first);
            if (!w->isVisible() || w->focusPolicy() == Qt::NoFocus)
                continue;
            const QString name = w->objectName();
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(name));
            const QPoint before = at(previous), now = at(w);
            const bool same_line = std::abs(now.y() - before.y()) <= 8;
            QVERIFY2(same_line ? now.x() > before.x() : now.y() > before.y(), qPrintable(name));
            previous = w;
        }
    }
};

OAKVANE_DESKTOP_TEST(PreferencesDialogTest);

#include "preferences_dialog_test.moc"
