// Start from the window: a run on a generated card behind the progress dialog, Stop, the card
// and backup-folder questions, and cards inserted while the window is busy.

#include "cardgen.h"
#include "desktop_test_support.h"
#include "progress_dialog.h"
#include "../update/test_server.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QElapsedTimer>

#include <csignal>
#include <filesystem>

using namespace oakvane;
using namespace oakvane::test;

namespace {

std::string make_demo_card(const PrivateConfig& config, const std::string& name, int pairs = 6)
{
    cardgen::CardLayout layout;
    layout.pairs = pairs;
    layout.raw_bytes = 64 * 1024;
    cardgen::make_card(config.path(name), layout);
    return config.path(name) + "/DCIM";
}

int count_files(const std::string& root, const std::string& extension = "")
{
    int n = 0;
    if (!std::filesystem::exists(root))
        return 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file() && (extension.empty() || entry.path().extension() == extension))
            ++n;
    return n;
}

// The converter runs as a child of the engine's process; after Stop none may be left.
std::vector<std::string> children_of_this_process()
{
    std::vector<std::string> children;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        const std::string list = read_file(task.path() / "children");
        if (!list.empty())
            children.push_back(list);
    }
    return children;
}

void click_start(CMainDlg& w) { w.findChild<QPushButton*>(QStringLiteral("start"))->click(); }

QString status(CMainDlg& w) { return w.findChild<QLabel*>(QStringLiteral("status"))->text(); }

// A converter that takes its time, so that Stop and insertions land during the run.
class SlowConverter {
public:
    explicit SlowConverter(int delay_ms) { qputenv("STANDIN_CONVERTER_DELAY_MS", QByteArray::number(delay_ms)); }
    ~SlowConverter() { qunsetenv("STANDIN_CONVERTER_DELAY_MS"); }
};

}  // namespace

class StartTest : public QObject {
    Q_OBJECT
private slots:
    void startIngestsTheCardIntoBothTrees()
    {
        WindowFixture f({"NameFmt\tSSAE", "NamePfx\tTRIP", "StartingNumber\t5"});
        const std::string card = make_demo_card(f.config, "card");
        f.config.write_set("Default", {"BackupFolder\t" + f.backup, "PrimaryFolder\t" + f.primary,
                                       "CardFolder\t" + card, "NameFmt\tSAEE", "NamePfx\tTRIP",
                                       "StartingNumber\t5"});
        QVERIFY(f.start());
        click_start(f.window());
        const QStringList lines = f.output();
        QCOMPARE(lines.first(), QStringLiteral("Starting"));
        QVERIFY(lines.contains(QStringLiteral("Card Folder: ") + QString::fromStdString(card)));
        QVERIFY(lines.contains(QStringLiteral("SUCCESSFUL INGESTION - no errors detected")));
        QCOMPARE(lines.last(), QStringLiteral("Finished"));
        QCOMPARE(status(f.window()), QStringLiteral("Successful ingestion"));
        QCOMPARE(count_files(f.backup, ".JPG"), 6);
        QCOMPARE(count_files(f.primary, ".JPG"), 6);
        // The next number is written back into the box, and into the set the window saves as
        // it closes.
        QCOMPARE(f.window().findChild<QLineEdit*>(QStringLiteral("startingNumber"))->text(),
                 QStringLiteral("17"));
        QTest::keyClick(&f.window(), Qt::Key_Escape);
        const std::string set = read_file(f.config.path("config/Oakvane/Main/Default"));
        QVERIFY2(set.find("StartingNumber\t17\n") != std::string::npos, set.c_str());
    }

    // A camera connected with Auto Ingest on is ingested through libgphoto2 (its Directory
    // Browse camera reads a card folder here) and, with Auto Eject on, never ejected: it is
    // read, never mounted.
    void connectedCameraIsIngestedByItselfAndNeverEjected()
    {
        WindowFixture f;
        const std::string card = make_demo_card(f.config, "card", 2);
        f.config.write_set("Default", {"BackupFolder\t" + f.backup, "PrimaryFolder\t" + f.primary,
                                       "AutoIngest\t1", "AutoEject\t1"});
        QVERIFY(f.start());
        CMainDlg& w = f.window();
        const std::string port = "disk:" + std::filesystem::path(card).parent_path().string();

        f.connect_camera("Canon EOS R5", port);

        QVERIFY(wait_until([&f] { return f.output().contains(QStringLiteral("Finished")); }, 60000));
        const QStringList lines = f.output();
        QVERIFY(lines.contains(QStringLiteral("Card Folder: camera:") + QString::fromStdString(port)));
        QVERIFY(lines.contains(QStringLiteral("SUCCESSFUL INGESTION - no errors detected")));
        QCOMPARE(count_files(f.primary, ".JPG"), 2);
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("cardText"))->text(),
                 QStringLiteral("Camera connected: Canon EOS R5"));
        QVERIFY(!w.findChild<QPushButton*>(QStringLiteral("eject"))->isEnabled());
        QCOMPARE(status(w), QStringLiteral("Successful ingestion"));
    }

    void finishedRunLeavesItsReportInTheReportFolder()
    {
        WindowFixture f;
        const std::string card = make_demo_card(f.config, "card", 2);
        const std::string reports = f.config.path("reports");
        std::filesystem::create_directories(reports);
        f.config.write_set("Default", {"BackupFolder\t" + f.backup, "PrimaryFolder\t" + f.primary,
                                       "CardFolder\t" + card, "ReportFolder\t" + reports});
        QVERIFY(f.start());
        click_start(f.window());
        QVERIFY(f.output().contains(QStringLiteral("SUCCESSFUL INGESTION - no errors detected")));
        std::vector<std::filesystem::path> written;
        for (const auto& entry : std::filesystem::directory_iterator(reports))
            written.push_back(entry.path());
        QCOMPARE(written.size(), std::size_t(1));
        QVERIFY(written[0].filename().string().starts_with("card_"));
        const std::string json = read_file(written[0]);
        QVERIFY2(json.find("\"result\": \"succeeded\"") != std::string::npos, json.c_str());
        QVERIFY2(json.find("\"jpegs_verified\": 2") != std::string::npos, json.c_str());
    }

    void stopEndsTheRunAndItsConverter()
    {
        WindowFixture f;
        const std::string card = make_demo_card(f.config, "card", 4);
        const std::string pidfile = f.config.path("converter.pid");
        f.config.write_set("Default", {"BackupFolder\t" + f.backup, "PrimaryFolder\t" + f.primary,
                                       "CardFolder\t" + card, "KeepRaw\t1",
                                       std::string("ConverterApp\t") + STANDIN_CONVERTER});
        QVERIFY(f.start());
        SlowConverter slow(20000);
        // Stop once the converter is at work, then answer the stop message.
        when_modal([](QWidget* w) {
            auto* progress = qobject_cast<CProgressDlg*>(w);
            auto* phase = progress ? progress->findChild<QLabel*>(QStringLiteral("status")) : nullptr;
            if (!phase || !phase->text().startsWith(QStringLiteral("Running Adobe DNG Converter")))
                return false;
            QTest::qWait(300);
            progress->findChild<QPushButton*>(QStringLiteral("stop"))->click();
            return true;
        }, 30000);
        QString message;
        answer_message_box(&message, 30000);
        QElapsedTimer clock;
        clock.start();
        click_start(f.window());
        QVERIFY(clock.elapsed() < 15000);
        QVERIFY(message.startsWith(QStringLiteral("Ingested images may be invalid!")));
        QCOMPARE(status(f.window()), QStringLiteral("Stopped by user"));
        const QStringList lines = f.output();
        QVERIFY(lines.contains(QStringLiteral("Stopped by user")));
        QCOMPARE(lines.last(), QStringLiteral("Finished"));
        for (const QString& line : lines)
            QVERIFY2(!line.startsWith(QStringLiteral("ERROR")), qPrintable(line));
        QCOMPARE(count_files(f.primary, ".dng"), 0);
        QVERIFY(children_of_this_process().empty());
    }

    void cardAndBackupQuestionsDecideTheFolders()
    {
        WindowFixture f({"BackupFolder\t/nonexistent/backup"});
        f.config.write_set("Default", {"BackupFolder\t/nonexistent/backup", "PrimaryFolder\t" + f.primary});
        QVERIFY(f.start());
        const std::string card = f.insert_card("EOS", 7);
        make_demo_card(f.config, "EOS", 2);

        // "Other..." and a cancelled picker: no card.
        answer_modal<QDialog>([](QDialog* d) {
            d->findChild<QPushButton*>(QStringLiteral("other"))->click();
        });
        answer_modal<QFileDialog>([](QFileDialog* d) { d->reject(); });
        click_start(f.window());
        QVERIFY(f.output().contains(QStringLiteral("ERROR: No card chosen.")));
        QCOMPARE(status(f.window()), QStringLiteral("Error"));

        // OK takes the card; the missing backup folder is chosen in the picker.
        answer_modal<QDialog>([](QDialog* d) { d->findChild<QPushButton*>(QStringLiteral("ok"))->click(); });
        answer_modal<QDialog>([](QDialog* d) {
            QVERIFY(!d->findChild<QPushButton*>(QStringLiteral("usePrevious"))->isVisible());
            d->findChild<QPushButton*>(QStringLiteral("chooseFolder"))->click();
        });
        const std::string chosen = f.backup;
        // Typed as a person would: the picker's list is filled by a thread of its own, so a
        // selection made in it could still change before the dialog is accepted.
        answer_modal<QFileDialog>([chosen](QFileDialog* d) {
            d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QString::fromStdString(chosen));
            static_cast<QDialog*>(d)->accept();
        });
        click_start(f.window());
        QVERIFY(f.output().contains(QStringLiteral("Backup Image Folder: ") + QString::fromStdString(chosen)));
        QVERIFY(f.output().contains(QStringLiteral("SUCCESSFUL INGESTION - no errors detected")));

        // The next Start offers the folder just picked.
        answer_modal<QDialog>([](QDialog* d) { d->findChild<QPushButton*>(QStringLiteral("ok"))->click(); });
        QString offered;
        answer_modal<QDialog>([&offered](QDialog* d) {
            // Without the places where the path may wrap.
            offered = d->findChild<QLabel*>(QStringLiteral("secondLine"))->text().remove(QChar(0x200B));
            d->findChild<QPushButton*>(QStringLiteral("stopIngestion"))->click();
        });
        click_start(f.window());
        QCOMPARE(offered, QStringLiteral("Use previous folder %1?").arg(QString::fromStdString(chosen)));
        QVERIFY(f.output().contains(QStringLiteral("ERROR: Ingestion stopped")));
    }

    void cardsInsertedWhileBusyStartNoNestedOrSecondRun()
    {
        WindowFixture f({"AutoIngest\t1", "KeepRaw\t1", std::string("ConverterApp\t") + STANDIN_CONVERTER});
        SilentPort silent;
        qputenv("OAKVANE_UPDATE_URL", QByteArray::fromStdString(silent.base_url()));
        QVERIFY(f.start());
        make_demo_card(f.config, "EOS", 2);

        // A card inserted while the update check waits for its answer: its run comes after the
        // check and its message, not inside them.
        bool started_inside = true;
        QTimer::singleShot(200, [&] {
            f.insert_card("EOS", 9);
            QTest::qWait(50);
            started_inside = f.output().contains(QStringLiteral("Starting"));
        });
        answer_message_box(nullptr, 20000);  // the check's failure
        f.window().findChild<QPushButton*>(QStringLiteral("checkForUpdate"))->click();
        QVERIFY(!started_inside);
        QVERIFY(wait_until([&] { return f.output().contains(QStringLiteral("Finished")); }));
        QVERIFY(f.output().contains(QStringLiteral("SUCCESSFUL INGESTION - no errors detected")));
        qputenv("OAKVANE_UPDATE_URL", "http://127.0.0.1:1");

        // A card inserted during a run gets no run of its own, then or later.
        for (const std::string& tree : {f.backup, f.primary}) {
            std::filesystem::remove_all(tree);
            std::filesystem::create_directories(tree);
        }
        SlowConverter slow(1500);
        bool inserted = false;
        when_modal([&](QWidget* w) {
            if (!qobject_cast<CProgressDlg*>(w))
                return false;
            f.insert_card("NIKON", 10);
            inserted = true;
            return true;
        });
        click_start(f.window());
        QVERIFY(inserted);
        QTest::qWait(200);
        QCOMPARE(f.output().count(QStringLiteral("Starting")), 1);
        QCOMPARE(f.output().count(QStringLiteral("Finished")), 1);
        // The run is over for the window too: it closes.
        QTest::keyClick(&f.window(), Qt::Key_Escape);
        QVERIFY(!f.window().isVisible());
    }
};

OAKVANE_DESKTOP_TEST(StartTest);
#include "start_test.moc"
