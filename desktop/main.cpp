// oakvane: the desktop application.

#include "command_line.h"
#include "main_window.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    // Help and version are read on machines without a display (a terminal over ssh, a
    // packaging check); the window's application would refuse to start there.
    if (oakvane::wants_text_only(argc, argv)) {
        const QCoreApplication text_only(argc, argv);
        return oakvane::answer_command_line(text_only).value_or(0);
    }
    QApplication app(argc, argv);
    oakvane::CMainDlg::Options options;
    if (const std::optional<int> status = oakvane::answer_command_line(app, &options.card))
        return *status;
    QApplication::setApplicationName(QStringLiteral("Oakvane"));
    QApplication::setDesktopFileName(QStringLiteral("org.oakvane.Oakvane"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.oakvane.Oakvane")));
    oakvane::CMainDlg window(std::move(options));
    window.show();
    if (!window.OnInitDialog())
        return 1;
    return app.exec();
}
