#include "command_line.h"

#include "update_version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QUrl>

#include <cstdio>
#include <string_view>

namespace oakvane {

namespace {

// Kept in step with the manual page (docs/man/oakvane.1); a test compares their options.
constexpr char kDescription[] =
    "Opens the Oakvane window, which ingests a camera memory card: every file on the card is\n"
    "copied into the backup tree and checked, then the images are placed into the primary\n"
    "image library under new names and in arranged folders, each JPEG verified by decoding\n"
    "it. Start runs an ingestion from the current preference set; Preferences... edits it.\n"
    "\n"
    "Exit status:\n"
    "  0  the window was closed\n"
    "  1  the preferences could not be opened, or the command line is wrong\n"
    "\n"
    "Environment:\n"
    "  XDG_CONFIG_HOME           where the preferences live (default ~/.config):\n"
    "                            Oakvane/Oakvane.ini and the sets in Oakvane/Main/\n"
    "  OAKVANE_UPDATE_URL        the web site asked by the update check\n"
    "  OAKVANE_TRACE_LOG=1       also append the error trace to\n"
    "                            $XDG_STATE_HOME/oakvane/trace.log\n"
    "                            (default ~/.local/state/oakvane/trace.log)\n"
    "  OAKVANE_VERIFY_WORKERS=N  number of threads decoding JPEGs to verify them\n"
    "                            (1 forces one; default: one per processor, at most 8)\n"
    "  OAKVANE_CARD_CLOCK=local|wall-clock\n"
    "                            read the card's times so instead of deciding from\n"
    "                            its file system and photos (a debugging aid)\n"
    "  QT_QPA_PLATFORM           Qt's own: the display platform (xcb, wayland, ...)";

}  // namespace

bool wants_text_only(int argc, const char* const argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--")
            return false;
        if (arg == "-h" || arg == "-?" || arg == "--help" || arg == "--help-all" ||
            arg == "--version")
            return true;
    }
    return false;
}

std::optional<int> answer_command_line(const QCoreApplication& app,
                                       std::optional<std::string>* card)
{
    QCoreApplication::setApplicationVersion(QString::fromStdString(program_version()));
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addHelpOption();
    // Long only: on Linux "-v" says verbose far more often than version.
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Displays version information."));
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("card"),
                                 QStringLiteral("The card for the first Start: its mount point, "
                                                "a folder or a file:// URI."),
                                 QStringLiteral("[CARD]"));
    parser.process(app);  // help and errors end the program here
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    const QStringList args = parser.positionalArguments();
    if (args.size() > 1) {
        std::fprintf(stderr, "%s: unexpected argument '%s'\n",
                     qPrintable(QCoreApplication::applicationName()), qPrintable(args.at(1)));
        return 1;
    }
    if (card && !args.isEmpty())
        *card = card_folder_of(args.first());
    return std::nullopt;
}

std::string card_folder_of(const QString& argument)
{
    const QUrl url(argument);
    QString path = url.isLocalFile() ? url.toLocalFile() : argument;
    const QDir dir(path);
    if (dir.exists(QStringLiteral("DCIM")))
        path = dir.absoluteFilePath(QStringLiteral("DCIM"));
    else
        path = dir.absolutePath();
    return QDir::cleanPath(path).toStdString();
}

}  // namespace oakvane
