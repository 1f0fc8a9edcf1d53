// oakvane: the desktop application.

#include "main_window.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Oakvane"));
    QApplication::setDesktopFileName(QStringLiteral("org.oakvane.Oakvane"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.oakvane.Oakvane")));
    oakvane::CMainDlg window;
    window.show();
    if (!window.OnInitDialog())
        return 1;
    return app.exec();
}
