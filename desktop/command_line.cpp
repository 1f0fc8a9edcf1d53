#include "command_line.h"

#include "update_version.h"

#include <QCommandLineParser>
#include <QCoreApplication>

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
    "                            its file system (a debugging aid)\n"
    "  QT_QPA_PLATFORM           Qt's own: the display platform (xcb, wayland, ...)";

}  // namespace

bool wants_text_only(int argc, const char* const argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--")
            return false;
        if (arg == "-h" || arg == "-?" || arg == "-v" || arg == "--help" || arg == "--help-all" ||
            arg == "--version")
            return true;
    }
    return false;
}

std::optional<int> answer_command_line(const QCoreApplication& app)
{
    QCoreApplication::setApplicationVersion(QString::fromStdString(program_version()));
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);  // help, version and errors end the program here
    const QStringList stray = parser.positionalArguments();
    if (stray.isEmpty())
        return std::nullopt;
    std::fprintf(stderr, "%s: unexpected argument '%s'\n",
                 qPrintable(QCoreApplication::applicationName()), qPrintable(stray.first()));
    return 1;
}

}  // namespace oakvane
