// bench-window-ingest: presses Start in the real main window (offscreen) on the preferences of
// $XDG_CONFIG_HOME and prints how long the Start command took, in seconds, and the number of
// lines in the output list. The window's own start-up is not timed.

#include "main_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    oakvane::CMainDlg window;
    window.show();
    if (!window.OnInitDialog())
        return 1;
    QElapsedTimer clock;
    clock.start();
    window.OnStart();
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const auto* list = window.findChild<QListWidget*>(QStringLiteral("output"));
    bool succeeded = false;
    for (int i = 0; i < list->count(); ++i)
        succeeded = succeeded || list->item(i)->text().startsWith(QStringLiteral("SUCCESSFUL INGESTION"));
    std::printf("%.3f %d\n", seconds, list->count());
    return succeeded ? 0 : 1;
}
